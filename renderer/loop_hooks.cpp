// The hooks the shipped programs link: every frame paced, nothing recorded.
#include "loop_hooks.h"

namespace {

class PlainLoopHooks : public LoopHooks {
 public:
  bool paced() const override { return true; }
  void onFrameShown(std::int64_t) override {}
  void onLoopEnd() override {}
};

}  // namespace

LoopHooks& loopHooks() {
  static PlainLoopHooks hooks;
  return hooks;
}
