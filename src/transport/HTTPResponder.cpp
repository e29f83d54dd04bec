// SPDX-License-Identifier: GPL-3.0-or-later
#include "transport/HTTPResponder.h"

#include "base/Log.h"
#include "transport/HTTPRequestHead.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>

#include <zlib.h>

#include <utility>

namespace {
using Fields = QList<std::pair<QByteArray, QByteArray>>;

// The page runs only its own files, talks only to this agent, and cannot be framed.
const QByteArray kPagePolicy =
    "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; "
    "manifest-src 'self'; base-uri 'none'; form-action 'none'; frame-ancestors 'none'; "
    "connect-src 'self'";
const QByteArray kErrorPolicy = "default-src 'none'; frame-ancestors 'none'";

QByteArray reasonOf(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 304:
            return "Not Modified";
        case 400:
            return "Bad Request";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 421:
            return "Misdirected Request";
        case 431:
            return "Request Header Fields Too Large";
        default:
            return "Error";
    }
}

QByteArray errorText(int status) {
    switch (status) {
        case 403:
            return "Interdit\n";
        case 404:
            return "Introuvable\n";
        case 405:
            return "Méthode non autorisée\n";
        case 421:
            return "Nom d'hôte inconnu\n";
        case 431:
            return "En-têtes trop longs\n";
        default:
            return "Requête invalide\n";
    }
}

QByteArray typeOf(const QString& fileName) {
    const QString suffix = QFileInfo(fileName).suffix().toLower();
    if (suffix == QLatin1String("html")) return "text/html; charset=utf-8";
    if (suffix == QLatin1String("css")) return "text/css; charset=utf-8";
    if (suffix == QLatin1String("js")) return "text/javascript; charset=utf-8";
    if (suffix == QLatin1String("svg")) return "image/svg+xml";
    if (suffix == QLatin1String("png")) return "image/png";
    if (suffix == QLatin1String("webmanifest")) return "application/manifest+json";
    return "application/octet-stream";
}

QByteArray httpDate() {
    return QLocale::c()
               .toString(QDateTime::currentDateTimeUtc(),
                         QStringLiteral("ddd, dd MMM yyyy hh:mm:ss"))
               .toLatin1() +
           " GMT";
}

// The WebSocket the page opens goes to the host and port it was loaded from. 'self' covers
// ws: only in newer browsers, so the address is named too, once it is known to be a plain
// host and port that cannot break out of the header.
QByteArray pagePolicy(const HTTPRequestHead& request) {
    static const QRegularExpression plainHost(
        QStringLiteral("^(\\[[0-9A-Fa-f:.]+\\]|[A-Za-z0-9.-]+)(:[0-9]{1,5})?$"));
    const QByteArray host = request.header("Host").value_or(QByteArray());
    if (!plainHost.match(QString::fromLatin1(host)).hasMatch()) return kPagePolicy;
    return kPagePolicy + " ws://" + host;
}

QByteArray serialise(int status, const Fields& fields, const QByteArray& body) {
    QByteArray out = "HTTP/1.1 " + QByteArray::number(status) + ' ' + reasonOf(status) + "\r\n";
    const Fields common{
        {"Date", httpDate()},
        {"Connection", "close"},
        {"X-Content-Type-Options", "nosniff"},
        {"X-Frame-Options", "DENY"},
        {"Referrer-Policy", "no-referrer"},
        {"Cross-Origin-Opener-Policy", "same-origin"},
        {"Cross-Origin-Resource-Policy", "same-origin"},
        {"Permissions-Policy", "camera=(), microphone=(), geolocation=()"},
    };
    for (const Fields* list : {&fields, &common})
        for (const auto& [name, value] : *list) out += name + ": " + value + "\r\n";
    return out + "\r\n" + body;
}

HTTPResponder::Response errorResponse(int status, const Fields& extra = {}) {
    const QByteArray body = errorText(status);
    Fields fields{{"Content-Type", "text/plain; charset=utf-8"},
                  {"Content-Length", QByteArray::number(body.size())},
                  {"Cache-Control", "no-store"},
                  {"Content-Security-Policy", kErrorPolicy}};
    fields += extra;
    return {status, serialise(status, fields, body)};
}

// The gzip form of text files, smaller than the file itself; empty otherwise.
QByteArray gzip(const QByteArray& body, const QByteArray& type) {
    if (!type.startsWith("text/") && !type.startsWith("image/svg")) return {};
    z_stream stream{};
    constexpr int kGzipWindow = 15 + 16;  // zlib's largest window, in gzip's framing
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, kGzipWindow, 8, Z_DEFAULT_STRATEGY) !=
        Z_OK)
        return {};
    QByteArray out(qsizetype(deflateBound(&stream, uLong(body.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(body.data()));
    stream.avail_in = uInt(body.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = uInt(out.size());
    const bool done = deflate(&stream, Z_FINISH) == Z_STREAM_END;
    out.truncate(qsizetype(stream.total_out));
    deflateEnd(&stream);
    return done && out.size() < body.size() ? out : QByteArray();
}

// Whether the request's Accept-Encoding takes gzip (not with q=0).
bool acceptsGzip(const HTTPRequestHead& request) {
    static const QRegularExpression gzipAccepted(
        QStringLiteral("(^|,)\\s*gzip\\s*(;\\s*q=(?!0(\\.0*)?\\s*(,|$))[0-9.]+\\s*)?(,|$)"),
        QRegularExpression::CaseInsensitiveOption);
    const QByteArray accepted = request.header("Accept-Encoding").value_or(QByteArray());
    return gzipAccepted.match(QString::fromLatin1(accepted)).hasMatch();
}

bool matchesAny(const QByteArray& etag, const QByteArray& ifNoneMatch) {
    for (QByteArray candidate : ifNoneMatch.split(',')) {
        candidate = candidate.trimmed();
        if (candidate == "*") return true;
        if (candidate.startsWith("W/")) candidate = candidate.sliced(2);
        if (candidate == etag) return true;
    }
    return false;
}
}  // namespace

HTTPResponder::HTTPResponder(const QString& folder) {
    load(folder);
}

void HTTPResponder::load(const QString& folder) {
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files)) {
        QFile file(dir.filePath(name));
        if (!file.open(QIODevice::ReadOnly)) {
            logLine(QStringLiteral("HTTP: cannot read %1: %2")
                        .arg(file.fileName(), file.errorString()));
            continue;
        }
        File entry{file.readAll(), typeOf(name), {}, {}};
        entry.gzipped = gzip(entry.body, entry.type);
        entry.etag =
            '"' +
            QCryptographicHash::hash(entry.body, QCryptographicHash::Sha256).toHex().left(20) + '"';
        files_.insert('/' + name.toUtf8(), entry);
        if (name == QLatin1String("index.html")) files_.insert("/", entry);
    }
    if (!files_.contains("/")) logLine(QStringLiteral("HTTP: no page in %1").arg(folder));
}

HTTPResponder::Response HTTPResponder::respond(const HTTPRequestHead& request) const {
    const auto file = files_.constFind(request.path());
    if (file == files_.cend()) return errorResponse(404);
    const bool head = request.method() == "HEAD";
    if (!head && request.method() != "GET") return errorResponse(405, {{"Allow", "GET, HEAD"}});

    // Each form has its own tag, as a cache keeps them apart.
    const bool zipped = !file->gzipped.isEmpty() && acceptsGzip(request);
    const QByteArray& body = zipped ? file->gzipped : file->body;
    const QByteArray etag = zipped ? file->etag.chopped(1) + "-gz\"" : file->etag;
    Fields fields{{"ETag", etag},
                  {"Vary", "Accept-Encoding"},
                  // Checked each time: a 304 costs little on a local network, and the page of
                  // an updated agent shows at once.
                  {"Cache-Control", "no-cache"},
                  {"Content-Security-Policy", pagePolicy(request)}};
    if (matchesAny(etag, request.header("If-None-Match").value_or(QByteArray())))
        return {304, serialise(304, fields, {})};
    if (zipped) fields.prepend({"Content-Encoding", "gzip"});
    fields.prepend({"Content-Length", QByteArray::number(body.size())});
    fields.prepend({"Content-Type", file->type});
    return {200, serialise(200, fields, head ? QByteArray() : body)};
}

HTTPResponder::Response HTTPResponder::refusal(int status) {
    return errorResponse(status);
}
