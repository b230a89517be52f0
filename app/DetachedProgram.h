#pragma once
// A program started on its own: it inherits nothing of ours but the standard
// handles, has no terminal or console group in common with us, and lives on
// when we end. We only watch whether it has ended; we never end it. Its
// owner is the person using it, who closes it as any window.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>

class DetachedProgram {
public:
    // Starts program with args. Null, with the system's reason in error,
    // when it cannot be started.
    static std::unique_ptr<DetachedProgram> Start(const QString& program, const QStringList& args, QString& error);
    // Forgets the program; it runs on.
    ~DetachedProgram();
    DetachedProgram(const DetachedProgram&) = delete;
    DetachedProgram& operator=(const DetachedProgram&) = delete;

    // Whether it has ended (asks without waiting).
    bool Ended();
    // The system's process id.
    std::int64_t Id() const { return id_; }

private:
    DetachedProgram(std::int64_t id, void* handle) : id_(id), handle_(handle) {}
    std::int64_t id_;
    void* handle_;  // the process handle on Windows; unused elsewhere
    bool ended_ = false;
};
