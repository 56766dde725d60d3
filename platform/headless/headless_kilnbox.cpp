#include "platform/headless/headless_kilnbox.h"

namespace simport {

HeadlessKilnbox::HeadlessKilnbox(headless::HeadlessPlatform& platform, double speed)
    : platform_(platform),
      link_(std::make_shared<KilnboxLink>([&platform] { return platform.NowMs(); }, speed)) {
  ports_ = RegisterPorts(platform_.Midi(), link_);
  platform_.AddTimeSource(this);
}

HeadlessKilnbox::~HeadlessKilnbox() { platform_.RemoveTimeSource(this); }

}  // namespace simport
