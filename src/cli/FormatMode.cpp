#include "cli/FormatMode.h"

#include "core/Console.h"
#include "core/SettingsStore.h"
#include "core/Utf8.h"
#include "text/Corrections.h"
#include "text/MacroStore.h"
#include "text/TextFormatter.h"
#include "text/TranscriptCleaner.h"
#include "text/Typography.h"

namespace
{

// Input that is not valid UTF-8 counts as empty.
QString decodedStandardInput()
{
    return Utf8::decode(Console::readStandardInput()).value_or(QString());
}

} // namespace

namespace FormatMode
{

int run(const QStringList& arguments)
{
    QStringList parameters = arguments.mid(2);
    TextFormatter::Config config;
    config.format = TextFormatter::outputFormatNamed(SettingsStore::shared().outputFormat());
    if (!parameters.isEmpty() &&
        (parameters.front() == QLatin1String("markdown") || parameters.front() == QLatin1String("plain"))) {
        config.format = TextFormatter::outputFormatNamed(parameters.takeFirst());
    }
    const QString text = parameters.isEmpty() ? decodedStandardInput() : parameters.front();
    const QString corrected = Corrections::apply(TranscriptCleaner::clean(text), Corrections::load());
    config.macros = MacroStore::loadNormalized();
    Typography::Options typography = Typography::optionsFrom(SettingsStore::shared());
    typography.format = config.format;
    Console::print(Typography::apply(TextFormatter::process(corrected, config), typography).text);
    return 0;
}

} // namespace FormatMode
