#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QList>
#include <QPair>

// What an endpoint answers, before any fault is applied.
struct SimReply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
    QList<QPair<QByteArray, QByteArray>> headers = {}; // beyond Content-Type and Content-Length

    static SimReply json(const QJsonObject& o, int status = 200) {
        return {status, "application/json", QJsonDocument(o).toJson(QJsonDocument::Compact)};
    }
    static SimReply json(const QJsonArray& a, int status = 200) {
        return {status, "application/json", QJsonDocument(a).toJson(QJsonDocument::Compact)};
    }
    // The service's error document: {"errorCode": ..., "message": ...}.
    static SimReply error(int status, const QByteArray& code, const QString& message) {
        return json(QJsonObject{{QStringLiteral("errorCode"), QString::fromLatin1(code)},
                                {QStringLiteral("message"), message}},
                    status);
    }
    // The token endpoints answer in OAuth's own error form.
    static SimReply oauthError(int status, const QByteArray& error, const QString& description) {
        return json(QJsonObject{{QStringLiteral("error"), QString::fromLatin1(error)},
                                {QStringLiteral("error_description"), description}},
                    status);
    }
    static SimReply html(const QString& page, int status = 200) {
        return {status, "text/html; charset=utf-8", page.toUtf8()};
    }
    static SimReply text(const QByteArray& body, int status = 200) {
        return {status, "text/plain; charset=utf-8", body};
    }
};
