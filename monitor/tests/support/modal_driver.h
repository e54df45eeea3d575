#pragma once
// Drives the monitor's modal windows from outside, as a user would: tests and benchmarks
// queue an action for the next message box or dialog, then press the button that opens it.

#include <QObject>
#include <functional>

class QWidget;

namespace fanbench::monitor {

// Acts on the next modal window as soon as it is shown.
void whenModal(std::function<void(QWidget*)> act);

// Drops every action still waiting for its window.
void forgetPendingModalActions();

}  // namespace fanbench::monitor
