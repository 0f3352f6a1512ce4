#include "engines/gestionnaire.h"

TGestionnaire::TGestionnaire() { TGestionnaire::ResetEngine(); }

void TGestionnaire::PostError(const std::string& text) {
  ErrorText = text;
  Raise(OnError);
}

void TGestionnaire::ResetEngine() {
  Instruction.clear();
  BufIn.clear();
  BufOut.clear();
  ErrorText.clear();
  InfoText.clear();
  MaxProgress = 100;
  Busy = false;
  DeviceID = 0;
  UpdateAllowed = false;
  ErrorCount = 0;
}

void TGestionnaire::SetBusy() {
  Busy = true;
  Raise(OnChangeBusy);
}

void TGestionnaire::ClearBusy() {
  Busy = false;
  Raise(OnChangeBusy);
}

void TGestionnaire::PostInfo(const std::string& text) {
  InfoText = text;
  Raise(OnInfo);
}

void TGestionnaire::SetMaxProgress(int32_t n) {
  MaxProgress = n;
  Raise(OnChangeMaxProgress);
}

void TGestionnaire::StepProgress() { Raise(OnStepProgress); }

void TGestionnaire::SendLine(const std::string& text) {
  BufOut = text;
  Raise(OnSend);
}

void TGestionnaire::PullInput() { Raise(OnReceive); }

void TGestionnaire::ConsumeInput(const std::string& token) {
  BufIn.erase(0, token.size());  // erase clamps to the buffer's length
  Raise(OnChangeBufIn);
}

void TGestionnaire::ClearInput() {
  BufIn.clear();
  Raise(OnChangeBufIn);
}

void TGestionnaire::SetDeviceID(uint16_t n) {
  DeviceID = n;
  Raise(OnChangeDeviceID);
}

void TGestionnaire::SpeedDown() { Raise(OnSpeedDown); }
