#pragma once

#include <QObject>
#include <QTimer>

#include <chrono>

// Bounds what a connection that has not authenticated may cost. Attached to the socket as a
// child, it counts the connection among the unauthenticated ones until release(), and aborts
// the socket when neither the handshake nor a first message arrives before the deadline.
class ConnectionGuard : public QObject {
    Q_OBJECT
public:
    ConnectionGuard(QObject* socket, int& unauthenticated, std::chrono::milliseconds deadline,
                    std::function<void()> abort);
    ~ConnectionGuard() override;

    void messageArrived() { deadline_.stop(); }
    void release();

private:
    int& unauthenticated_;
    bool released_ = false;
    QTimer deadline_;
};
