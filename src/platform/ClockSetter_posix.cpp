#include "platform/ClockSetter.h"

#include <QDebug>

#include <cerrno>
#include <cstring>
#include <ctime>

namespace {

// clock_settime on CLOCK_REALTIME: root or CAP_SYS_TIME.
class PosixClockSetter final : public ClockSetter
{
public:
    Result AdjustBy(qint64 offsetMs) override
    {
        timespec now {};
        if (clock_gettime(CLOCK_REALTIME, &now) != 0)
            return Failed(errno);
        constexpr qint64 NanosPerSecond = 1'000'000'000;
        const qint64 nanos
            = qint64(now.tv_sec) * NanosPerSecond + now.tv_nsec + offsetMs * 1'000'000;
        timespec target {};
        target.tv_sec = time_t(nanos / NanosPerSecond);
        target.tv_nsec = long(nanos % NanosPerSecond);
        if (clock_settime(CLOCK_REALTIME, &target) != 0) {
            const int error = errno;
            if (error == EPERM || error == EACCES) {
                qInfo().noquote() << QStringLiteral("無權設定電腦時間");
                return Result::NotPermitted;
            }
            return Failed(error);
        }
        return Result::Set;
    }

private:
    static Result Failed(int error)
    {
        qWarning().noquote() << QStringLiteral("設定電腦時間失敗:")
                             << QString::fromLocal8Bit(std::strerror(error));
        return Result::Failed;
    }
};

} // namespace

ClockSetter &SystemClockSetter()
{
    static PosixClockSetter setter;
    return setter;
}
