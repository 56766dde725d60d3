// The Kilnbox Simulator window on Qt: a tool window translating the
// toolkit-free view (platform/midi/sim/sim_view.h) into widgets: the
// device's display as an LCD, the socket's description, the type list and
// the buttons, refreshed a few times a second.
#pragma once

#include <memory>

namespace simport {
class KilnboxLink;
}
class QWidget;

QWidget* CreateSimulatorWindow(std::shared_ptr<simport::KilnboxLink> link, QWidget* parent);
