// SPDX-License-Identifier: MIT
#include "adminoutput.h"

#include "listing.h"

#include <QJsonDocument>

#include <cstdio>

AdminOutput::AdminOutput(bool json)
    : m_json(json)
    , m_out(stdout)
    , m_err(stderr)
{ }

void AdminOutput::print(const Listing &listing)
{
    if (m_json)
        m_out << QJsonDocument(listing.json()).toJson(QJsonDocument::Indented);
    else
        m_out << listing.text();
    m_out.flush();
}

void AdminOutput::print(const QString &text)
{
    m_out << text;
    m_out.flush();
}

void AdminOutput::print(const QJsonObject &object)
{
    m_out << QJsonDocument(object).toJson(QJsonDocument::Indented);
    m_out.flush();
}

void AdminOutput::error(const QString &message)
{
    m_err << "veluna-admin: " << message << '\n';
    m_err.flush();
}
