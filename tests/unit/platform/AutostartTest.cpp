#include "platform/Autostart.h"

#include "core/Paths.h"
#include "support/TestFiles.h"

#include <QFile>

#include <gtest/gtest.h>

TEST(Autostart, ExecQuotesThePathAsDesktopEntriesRequire)
{
    for (const auto& [path, exec] :
         {std::pair{"/home/ivan/.local/opt/Толван.app/bin/tolvan", R"("/home/ivan/.local/opt/Толван.app/bin/tolvan")"},
          {"/opt/My Apps/tolvan", R"("/opt/My Apps/tolvan")"},
          {R"(/opt/a"b$c`d\e/100%/tolvan)", R"("/opt/a\\"b\\$c\\`d\\\\e/100%%/tolvan")"}})
        EXPECT_EQ(Autostart::execArgument(QString::fromUtf8(path)), QString::fromUtf8(exec)) << path;
    const QString entry = QString::fromUtf8(Autostart::entry(QStringLiteral("/opt/tolvan")));
    EXPECT_TRUE(entry.startsWith(QStringLiteral("[Desktop Entry]\nType=Application\nName=Толван\n")));
    EXPECT_TRUE(entry.contains(QStringLiteral("\nExec=\"/opt/tolvan\"\n")));
}

TEST(Autostart, StateIsTheEntryPresentAndNotHiddenOrSwitchedOff)
{
    EXPECT_FALSE(Autostart::isEnabled());
    ASSERT_TRUE(Autostart::setEnabled(true).ok());
    EXPECT_TRUE(Autostart::isEnabled());
    for (const auto& [extra, enabled] : {std::pair{"Hidden=true\n", false},
                                         {"Hidden = true\n", false},
                                         {"Hidden=false\n", true},
                                         {"X-GNOME-Autostart-enabled=false\n", false},
                                         {"[Desktop Action quit]\nHidden=true\n", true}}) {
        TestFiles::write(Paths::autostartFile(), Autostart::entry(QStringLiteral("/opt/tolvan")) + extra);
        EXPECT_EQ(Autostart::isEnabled(), enabled) << extra;
    }
    ASSERT_TRUE(Autostart::setEnabled(false).ok());
    EXPECT_FALSE(QFile::exists(Paths::autostartFile()));
    EXPECT_TRUE(Autostart::setEnabled(false).ok()) << "nothing to remove is no failure";
}
