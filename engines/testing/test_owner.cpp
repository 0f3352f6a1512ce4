#include "engines/testing/test_owner.h"

void TTestOwner::Attach(TGestionnaire& engine) {
  engine.OnSend = [this](TGestionnaire* s) {
    Wire += s->BufOut;
    Sent.push_back(s->BufOut);
    if (OnWire) OnWire(s->BufOut);
  };
  engine.OnReceive = [this](TGestionnaire* s) { s->BufIn = RxBuffer; };
  engine.OnChangeBufIn = [this](TGestionnaire* s) { RxBuffer = s->BufIn; };
  engine.OnChangeBusy = [this](TGestionnaire* s) {
    busy = s->Busy;
    Events.push_back(s->Busy ? "busy:1" : "busy:0");
  };
  engine.OnStepProgress = [this](TGestionnaire*) {
    ++progress;
    ++step_count;
    Events.push_back("step");
  };
  engine.OnChangeMaxProgress = [this](TGestionnaire* s) {
    max_progress = s->MaxProgress;
    progress = 0;
    Events.push_back("max:" + std::to_string(s->MaxProgress));
  };
  engine.OnInfo = [this](TGestionnaire* s) { Events.push_back("info:" + s->InfoText); };
  engine.OnError = [this](TGestionnaire* s) { Events.push_back("error:" + s->ErrorText); };
  engine.OnChangeDeviceID = [this](TGestionnaire* s) {
    Events.push_back("id:" + std::to_string(s->DeviceID));
  };
  engine.OnSpeedUp = [this](TGestionnaire*) { Events.push_back("speedup"); };
  engine.OnSpeedDown = [this](TGestionnaire*) { Events.push_back("speeddown"); };
}

std::vector<std::string> TTestOwner::EventsWith(const std::string& prefix) const {
  std::vector<std::string> out;
  for (const std::string& e : Events) {
    if (e.compare(0, prefix.size(), prefix) == 0) out.push_back(e);
  }
  return out;
}

void TTestOwner::ClearLogs() {
  Wire.clear();
  Sent.clear();
  Events.clear();
  step_count = 0;
}
