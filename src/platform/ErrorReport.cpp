#include "platform/ErrorReport.h"

#include "base/RolvanError.h"
#include "platform/Prompter.h"

bool GuardAction(const std::function<void()> &action)
{
    try {
        action();
        return true;
    } catch (const SilentAbort &) {
    } catch (const RolvanError &e) {
        CurrentPrompter().ShowError(e.message());
    } catch (const std::exception &e) {
        CurrentPrompter().ShowError(QString::fromLocal8Bit(e.what()));
    }
    return false;
}
