#pragma once
// A window's control by its object name, as accessibility tools find it;
// a missing control fails the test at once instead of crashing it.

#include <QObject>
#include <QString>

#include <stdexcept>
#include <string>

template <class T>
T* Control(const QObject& root, const char* name) {
    T* found = root.findChild<T*>(QLatin1String(name));
    if (!found) throw std::runtime_error(std::string("no control named ") + name);
    return found;
}
