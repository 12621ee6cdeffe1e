#pragma once

#include <QObject>

class QSocketNotifier;

namespace vistrel {

// SIGTERM, SIGINT and SIGHUP as a request to close, delivered through the event loop: the handler
// only writes the signal's number into a pipe, and the loop reads it and emits CloseRequested. One
// instance at a time; the default handling comes back when it goes.
class CloseSignals : public QObject
{
    Q_OBJECT

public:
    explicit CloseSignals(QObject* parent = nullptr);
    ~CloseSignals() override;

signals:
    void CloseRequested(int signalNumber);

private:
    void OnReadable();

    QSocketNotifier* notifier = nullptr;
};

} // namespace vistrel
