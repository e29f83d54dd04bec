// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>

class HTTPRequestHead;

// Answers the requests of the touchpad page from files compiled into the program: the page
// at "/", every other file of the folder at "/<its name>", 404 for anything else. Every
// answer closes the connection: the page has few files, and one request per connection
// keeps what a connection can cost small.
class HTTPResponder {
public:
    struct Response {
        int status = 0;
        QByteArray bytes;
    };

    explicit HTTPResponder(const QString& folder = QStringLiteral(":/olvane/web"));

    Response respond(const HTTPRequestHead& request) const;
    // The answer to a request whose head could not be read (400) or was too large (431), or
    // that came from another site (403, 421).
    static Response refusal(int status);

private:
    struct File {
        QByteArray body;
        QByteArray type;
        QByteArray etag;
        QByteArray gzipped;  // empty when compressing does not pay
    };

    void load(const QString& folder);

    QHash<QByteArray, File> files_;
};
