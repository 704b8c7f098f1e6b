#pragma once

#include "platform/Clock.h"
#include "platform/Prompter.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTextStream>

#include <algorithm>
#include <vector>

#include <sys/resource.h>

// What the benchmark programs share: their output, a prompter that counts instead of showing,
// the peak memory, the median, and the data file made once by a generator program.

inline QTextStream &Out()
{
    static QTextStream out(stdout);
    return out;
}

// Nothing is shown; every message counts as a fault of the run.
// A clock the benchmark moves one second per entry, so that every entry has its own time.
class SteppingClock final : public Clock
{
public:
    QDateTime now() const override { return m_now; }
    void set(const QDateTime &at) { m_now = at; }
    void step() { m_now = m_now.addSecs(1); }

private:
    QDateTime m_now;
};

class CountingPrompter final : public Prompter
{
public:
    void ShowMessage(const QString &text) override { Note(text); }
    void ShowError(const QString &text) override { Note(text); }
    Button MessageDlgCaptions(const QString &message, const QList<ButtonSpec> &buttons) override
    {
        Note(message);
        return buttons.isEmpty() ? Button::Cancel : buttons.last().kind;
    }
    int ChooseFromList(const QString &title, const QStringList &) override
    {
        Note(title);
        return -1;
    }
    int count = 0;
    QString first;

private:
    void Note(const QString &text)
    {
        if (count++ == 0)
            first = text;
    }
};

// The peak resident memory of the process so far, in kilobytes.
inline long PeakKilobytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

inline double Median(std::vector<double> values)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// The data file at dataPath, made by the generator program beside the benchmark (arguments: the
// template SampleQuorin.db beside it and dataPath) when it does not exist yet.
inline bool EnsureBenchData(const QString &dataPath, const QString &exeDir, const QString &generator)
{
    if (QFile::exists(dataPath))
        return true;
    QDir().mkpath(QFileInfo(dataPath).absolutePath());
    Out() << "Generating " << dataPath << " ..." << Qt::endl;
    QProcess process;
    process.setProcessChannelMode(QProcess::ForwardedChannels);
    process.start(exeDir + u'/' + generator, {exeDir + QStringLiteral("/SampleQuorin.db"), dataPath});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit
        || process.exitCode() != 0) {
        Out() << generator << " failed" << Qt::endl;
        return false;
    }
    return true;
}
