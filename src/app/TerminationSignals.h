#pragma once

#include <QObject>

class QSocketNotifier;

// Turns SIGTERM and SIGINT into an orderly quit of the event loop, so the
// termination sequence (leaving notice) runs. The handler only writes one
// byte to a pipe; the event loop does the rest.
class TerminationSignals : public QObject {
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void terminationRequested();

private:
    static void Handle(int signal);
    void Drain();

    QSocketNotifier* notifier = nullptr;
};
