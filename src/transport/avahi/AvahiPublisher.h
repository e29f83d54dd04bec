// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>

#include <functional>

class QDBusMessage;
class QDBusServiceWatcher;

// Advertises one DNS-SD service through the Avahi daemon's D-Bus API: an entry group with the
// service, committed. A name taken on the network is replaced by Avahi's alternative, and the
// service is published again whenever the daemon (re)starts. Main thread only. The group
// lives as long as the bus connection that created it, so the connection is kept open.
class AvahiPublisher : public QObject {
    Q_OBJECT
public:
    AvahiPublisher(QString name, QString type, quint16 port,
                   QDBusConnection bus = QDBusConnection::systemBus());
    ~AvahiPublisher() override;

    void start();
    // The name currently asked for (Avahi's alternative after a collision).
    QString name() const { return name_; }
    bool established() const { return established_; }

private slots:
    void serverStateChanged(int state, const QString& error);
    void groupStateChanged(int state, const QString& error, const QDBusMessage& message);

private:
    using ReplyHandler = std::function<void(const QDBusMessage& reply)>;

    void ownerChanged(const QString& newOwner);
    void publish();
    void addToGroup();
    void addService();
    void rename();
    void forgetGroup();
    void reportUnavailable();
    void call(const QString& path, const QString& interface, const QString& method,
              const QList<QVariant>& arguments, ReplyHandler onReply);
    bool failed(const QDBusMessage& reply, const QString& what);

    QDBusConnection bus_;
    QString name_;
    const QString type_;
    const quint16 port_;
    QDBusServiceWatcher* watcher_ = nullptr;
    QString groupPath_;
    bool serviceAdded_ = false;
    bool established_ = false;
    bool reportedUnavailable_ = false;
    // Bumped when the daemon goes: replies meant for the old one are dropped.
    quint64 generation_ = 0;
};
