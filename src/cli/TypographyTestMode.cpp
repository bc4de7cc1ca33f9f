#include "cli/TypographyTestMode.h"

#include "core/Console.h"
#include "core/SettingsStore.h"
#include "text/Typography.h"

namespace
{

using Typography::Rule;

QString titles(const std::vector<Rule>& rules)
{
    QStringList names;
    for (const Rule rule : rules)
        names.append(Typography::title(rule));
    return names.join(QStringLiteral(", "));
}

std::vector<Rule> switchedOff(const Typography::Options& options)
{
    std::vector<Rule> off;
    for (const auto& [on, rule] :
         {std::pair{options.quotes, Rule::quotes}, std::pair{options.dashes, Rule::dashes},
          std::pair{options.numbers, Rule::numbers}, std::pair{options.numbers, Rule::digits},
          std::pair{options.noBreakSpaces, Rule::noBreakSpaces},
          std::pair{options.romanCenturies, Rule::romanCenturies}, std::pair{options.minusSign, Rule::minusSign},
          std::pair{options.numberSign, Rule::numberSign}, std::pair{options.ellipsis, Rule::ellipsis}}) {
        if (!on)
            off.push_back(rule);
    }
    return off;
}

} // namespace

namespace TypographyTestMode
{

int run(const QStringList& arguments)
{
    const Typography::Options options = Typography::optionsFrom(SettingsStore::shared());
    const Typography::Result result = Typography::apply(arguments.at(2), options);
    Console::print(result.text);
    Console::print(result.fired.empty() ? QStringLiteral("Ни одно правило не сработало")
                                        : QStringLiteral("Сработали правила: ") + titles(result.fired));
    if (const std::vector<Rule> off = switchedOff(options); !off.empty())
        Console::print(QStringLiteral("Выключены в настройках: ") + titles(off));
    return 0;
}

} // namespace TypographyTestMode
