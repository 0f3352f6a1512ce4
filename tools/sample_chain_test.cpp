// The sample package's Effect files address the JTAG chains of the device family;
// the emulated device must present the very same chains, or the package's
// identifier checks would fail against it.
#include <gtest/gtest.h>

#include "emulator/emulated_device.h"
#include "tools/sample_effect.h"

TEST(SampleChains, MatchTheEmulatedDevice) {
  const std::array<std::vector<TJtagDevice>, 4> device = DefaultJtagChains();
  const char codes[4] = {'8', '9', 'A', 'C'};
  for (size_t i = 0; i < 4; ++i) {
    std::vector<TEffectDevice> package = SampleChain(codes[i]);
    ASSERT_EQ(package.size(), device[i].size()) << codes[i];
    for (size_t k = 0; k < package.size(); ++k) {
      EXPECT_EQ(package[k].IrLength, device[i][k].IrLength) << codes[i] << k;
      EXPECT_EQ(package[k].IdCode, device[i][k].IdCode) << codes[i] << k;
      EXPECT_EQ(package[k].IdCodeInstruction, device[i][k].IdCodeInstruction) << codes[i] << k;
      EXPECT_EQ(package[k].UserInstruction, device[i][k].UserInstruction) << codes[i] << k;
      EXPECT_EQ(package[k].UserLength, device[i][k].UserLength) << codes[i] << k;
    }
  }
  EXPECT_TRUE(SampleChain('7').empty());
}
