// Runs a test inside its own temporary working directory and restores the previous one afterwards.
#pragma once

#include "platform/core/start_dir.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>

#include <filesystem>
#include <string>

class TempWorkDir {
public:
    TempWorkDir() : m_previous(std::filesystem::current_path())
    {
        std::filesystem::current_path(m_dir.path().toStdString());
        g_szStartDir = m_dir.path().toStdString();
    }
    ~TempWorkDir()
    {
        std::filesystem::current_path(m_previous);
        g_szStartDir.clear();
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    std::string path() const { return m_dir.path().toStdString(); }
    std::string file(const char* name) const { return m_dir.filePath(QString::fromUtf8(name)).toStdString(); }

    static QByteArray read(const char* name)
    {
        QFile file(QString::fromUtf8(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void write(const char* name, const QByteArray& bytes)
    {
        QFile file(QString::fromUtf8(name));
        if (file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            file.write(bytes);
    }

private:
    QTemporaryDir m_dir;
    std::filesystem::path m_previous;
};
