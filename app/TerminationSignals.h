#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

namespace pictrove {

// Turns SIGTERM, SIGINT and SIGHUP (a logout, a shutdown, Ctrl+C in the
// terminal) into a normal close on the event loop, so that the window's
// layout is still stored. A second signal while closing is ignored; a third
// ends the process at once.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(std::function<void()> onSignal, QObject *parent = nullptr);
    ~TerminationSignals() override;

private:
    void drain();

    std::function<void()> m_onSignal;
    QSocketNotifier *m_notifier = nullptr;
    bool m_closing = false;
};

} // namespace pictrove
