// A window onto the simulated Kilnbox.
//
// Implements:
// - CreateSimulatorWindow: the tool window "Kilnbox Simulator" showing the
//   device's two-line display as an LCD and the EPROM in its socket (type,
//   blank or programmed, first bytes and checksum), refreshed a few times a
//   second; with actions to insert an EPROM from an image file or a blank
//   one of a chosen type, to erase the socket EPROM and to remove it;
// - the socket description and the image-file insertion, for the window
//   and its tests.
// Everything goes through KilnboxLink::WithModel, so the window is safe
// beside a driver thread.
#pragma once

#include <memory>

#include <QString>

#include "platform/midi/sim/sim_port.h"

class QWidget;

QWidget* CreateSimulatorWindow(std::shared_ptr<simport::KilnboxLink> link, QWidget* parent);

// "27128 (16K), programmed" or "27128 (16K), blank" or "empty", with the
// first bytes and the 16-bit sum of all bytes on a second line.
QString DescribeSocket(const sim::Socket& socket);

// Puts an EPROM of `type` (0..10, the program's type order) holding the
// file at `path` into the socket, cut or padded with 0xFF to the type's
// size. False, with `error` set, when the type is unknown or the file
// cannot be read; the socket is then left as it was.
bool InsertEpromFromFile(simport::KilnboxLink& link, const QString& path, int type, QString* error);
