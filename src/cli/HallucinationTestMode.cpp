#include "cli/HallucinationTestMode.h"

#include "core/Console.h"
#include "text/Hallucinations.h"

namespace HallucinationTestMode
{

int run(const QStringList& arguments)
{
    for (const QString& text : arguments.mid(2)) {
        const bool dropped = Hallucinations::shouldDrop(text, 0, 0);
        const bool droppedWhenQuiet = Hallucinations::shouldDrop(text, 0.9, -1.2);
        Console::print((dropped ? QStringLiteral("DROP ") : QStringLiteral("keep ")) +
                       (droppedWhenQuiet ? QStringLiteral("DROP(тихо) ") : QStringLiteral("keep(тихо) ")) +
                       QStringLiteral("— ") + text);
    }
    return 0;
}

} // namespace HallucinationTestMode
