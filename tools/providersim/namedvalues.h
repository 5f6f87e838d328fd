#pragma once

#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

// The command-line names of an enumeration's values, in the order they are listed in --help.
template <typename T> using NamedValues = QList<QPair<QString, T>>;

template <typename T> bool valueFromName(const NamedValues<T> &table, const QString &name, T *value)
{
    for (const auto &entry : table) {
        if (entry.first == name) {
            *value = entry.second;
            return true;
        }
    }
    return false;
}

template <typename T> QStringList valueNames(const NamedValues<T> &table)
{
    QStringList names;
    for (const auto &entry : table)
        names << entry.first;
    return names;
}
