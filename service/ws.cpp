#include "ws.h"

#include <QCoreApplication>

WS::WS(QObject *parent)
    : QObject(parent),
      settings(QCoreApplication::organizationName(), QCoreApplication::applicationName())
{
}

WS::~WS() = default;

void WS::click2Call(const QString &) {}

void WS::wsResponse() {}

void WS::sslErrors(QNetworkReply *, const QList<QSslError> &) {}
