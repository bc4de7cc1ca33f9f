// The user's macros.json: loading for the editor and for the formatter, saving and loading again, and the
// date placeholders of a macro's text.
#include "FuzzSupport.h"
#include "text/MacroStore.h"

#include <QTimeZone>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray file(reinterpret_cast<const char*>(data), qsizetype(size));
    const QString context = QString::fromUtf8(file);
    Fuzz::writeFile(MacroStore::filePath(), file);

    const std::vector<MacroPair> raw = MacroStore::loadRaw();
    const QHash<QString, QString> normalized = MacroStore::loadNormalized();
    Fuzz::require(normalized.size() <= qsizetype(raw.size()) && !normalized.contains(QString()),
                  "every trigger comes from the file and none is empty", context);

    // A save keeps every macro, with its trigger trimmed; blank triggers go, a later duplicate wins. After
    // that a save and a load change nothing.
    std::map<QString, QString> expected, kept;
    for (const MacroPair& macro : raw) {
        if (!macro.trigger.trimmed().isEmpty())
            expected[macro.trigger.trimmed()] = macro.text;
    }
    MacroStore::saveRaw(raw);
    const std::vector<MacroPair> saved = MacroStore::loadRaw();
    for (const MacroPair& macro : saved)
        kept[macro.trigger] = macro.text;
    Fuzz::require(kept == expected && kept.size() == saved.size(), "a save keeps every macro", context);
    MacroStore::saveRaw(saved);
    Fuzz::require(MacroStore::loadRaw() == saved, "macros read back unchanged", context);

    const QDateTime instant(QDate(2024, 2, 29), QTime(23, 59, 30), QTimeZone(3 * 3600));
    for (const MacroPair& macro : saved)
        MacroStore::substitutePlaceholders(macro.text, instant);
    return 0;
}
