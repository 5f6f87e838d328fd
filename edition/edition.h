#pragma once

#include <QString>

// Which edition this process is. Start-up writes it once, before the tray controller exists;
// from then on it is only read, so it needs no lock.
namespace Edition {

// True for the plain edition "Tintelle", false for the branded edition "Sonaro" of "Ivelor".
bool isPlain();
void setPlain(bool plain);

// Chooses the edition from the executable's absolute path (branded when it contains "Sonaro" in
// any letter case) and names the application and organisation after it, which names the settings
// scope. Must run before any settings object is built.
void selectForExecutable(const QString &executablePath);

// The application and tray icon of the current edition, as a resource path.
QString iconPath();

} // namespace Edition
