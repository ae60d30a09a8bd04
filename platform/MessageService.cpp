#include "platform/MessageService.h"

namespace pictrove {
namespace {
class SilentMessages final : public MessageService {
public:
    MessageAnswer show(const QString &, const QString &, MessageIcon,
                       MessageButtons buttons) override
    {
        return buttons == MessageButtons::YesNo || buttons == MessageButtons::YesNoCancel
                   ? MessageAnswer::Yes
                   : MessageAnswer::Ok;
    }
};

SilentMessages silent;
MessageService *current = &silent;
} // namespace

MessageService &messages() { return *current; }

void installMessageService(MessageService *service) { current = service ? service : &silent; }

} // namespace pictrove
