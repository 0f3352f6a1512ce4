// Gives the Qt test binaries without a window (link, tools, emulator, platform) the
// event loop they need: one QCoreApplication for the whole binary, created before
// the first test and destroyed after the last.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <memory>

namespace {

class TQtAppEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { app_ = std::make_unique<QCoreApplication>(argc_, argv_); }
  void TearDown() override { app_.reset(); }

 private:
  int argc_ = 1;
  char name_[16] = "qelt_qt_tests";
  char* argv_[2] = {name_, nullptr};
  std::unique_ptr<QCoreApplication> app_;
};

[[maybe_unused]] ::testing::Environment* const kQtApp =
    ::testing::AddGlobalTestEnvironment(new TQtAppEnvironment);

}  // namespace
