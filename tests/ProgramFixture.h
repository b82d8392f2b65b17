#pragma once

#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <vector>

#include <sys/stat.h>

// Runs the real program on the offscreen platform with its own runtime and
// config directories.
class ProgramTest : public ::testing::Test {
protected:
    void SetUp() override { ::chmod(QFile::encodeName(runtime.path()).constData(), 0700); }
    // prepare: what to set on the process before it starts.
    QProcess* start(const std::function<void(QProcess&)>& prepare = {}) {
        auto* p = new QProcess;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("XDG_RUNTIME_DIR", runtime.path());
        env.insert("XDG_CONFIG_HOME", config.path());
        p->setProcessEnvironment(env);
        if (prepare)
            prepare(*p);
        p->start(QStringLiteral(QUORVEL_BINARY_DIR "/quorvel"), {});
        processes.emplace_back(p);
        return p;
    }
    void TearDown() override {
        for (auto& p : processes) {
            if (p->state() != QProcess::NotRunning) {
                p->kill();
                p->waitForFinished(2000);
            }
        }
    }
    QTemporaryDir runtime, config;
    std::vector<std::unique_ptr<QProcess>> processes;
};
