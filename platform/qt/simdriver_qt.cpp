#include "platform/qt/simdriver_qt.h"

QtSimulatedKilnbox::QtSimulatedKilnbox(MidiPortSet& ports, double speed)
    : link_(std::make_shared<simport::KilnboxLink>(simport::SteadyClock(), speed)),
      ports_(simport::RegisterPorts(ports, link_)) {
  timer_.setSingleShot(true);
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  timer_.start(0);
}

QtSimulatedKilnbox::~QtSimulatedKilnbox() { timer_.stop(); }

void QtSimulatedKilnbox::Tick() {
  link_->Poll();
  timer_.start(static_cast<int>(link_->MsUntilNextPoll()));
}
