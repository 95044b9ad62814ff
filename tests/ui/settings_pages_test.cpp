// The settings sheet, the program settings page with the .adc association, and the port pages.
#include <gtest/gtest.h>
#include <pty.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cstdlib>

#include "link/port.h"
#include "ui/dialogs/settings_sheet.h"
#include "ui/file_type_registration.h"
#include "ui/pages/port_settings_page.h"
#include "ui/pages/program_settings_page.h"
#include "ui/setting_ranges.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

struct Context {
    CMemorySettingsStore settings;
    CBench bench{settings};
    CBenchEvents events;
    SUiContext ui{bench, settings, events};
    Context() {
        test::App();
        bench.LoadSettings();
    }
};

// A pseudo-terminal whose far end a port can open.
struct Pty {
    int master = -1, slave = -1;
    std::string path;
    Pty() {
        char name[128] = {};
        if (openpty(&master, &slave, name, nullptr, nullptr) == 0) path = name;
    }
    ~Pty() {
        if (master >= 0) close(master);
        if (slave >= 0) close(slave);
    }
};

TEST(SettingsSheet, PagesInOrderPortPagesOnlyWhenAllowed) {
    Context c;
    CSettingsSheet full(c.ui, true);
    ASSERT_EQ(full.PageCount(), 9);
    EXPECT_EQ(full.PageTitle(0), QString("Настройки"));
    EXPECT_EQ(full.PageTitle(5), QString("Настройки порта №1"));
    EXPECT_EQ(full.PageTitle(8), QString("Настройки порта №4"));
    EXPECT_EQ(full.findChild<QListWidget*>()->width(), CSettingsSheet::kListWidth);
    full.SelectPage(SheetPageId::Port1);
    EXPECT_EQ(full.CurrentPage(), 5);
    full.SelectPage(SheetPageId::Port4);
    EXPECT_EQ(full.CurrentPage(), 8);
    full.SelectPage(SheetPageId::MainGraph);
    EXPECT_EQ(full.PageTitle(full.CurrentPage()), QString("Настройки основного графика"));
    CSettingsSheet noPorts(c.ui, false);
    EXPECT_EQ(noPorts.PageCount(), 5);
    // The first port page is not offered: the sheet opens on its first page.
    noPorts.SelectPage(SheetPageId::Port1);
    EXPECT_EQ(noPorts.CurrentPage(), 0);
    noPorts.SelectPage(SheetPageId::Tables);
    EXPECT_EQ(noPorts.CurrentPage(), 4);
}

TEST(SettingsSheet, RefusedValueKeepsTheSheetOpenOnThatPage) {
    Context c;
    CSettingsSheet sheet(c.ui, false);
    sheet.show();
    auto* page = qobject_cast<CProgramSettingsPage*>(sheet.Page(0));
    ASSERT_NE(page, nullptr);
    page->PeriodEdit()->setText("0");
    sheet.SelectPage(SheetPageId::GraphColors);
    // The message box of the refusal is closed by the test's event loop when it appears.
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->accept();
    });
    sheet.accept();
    EXPECT_EQ(sheet.result(), QDialog::Rejected);
    EXPECT_TRUE(sheet.isVisible());
    EXPECT_EQ(sheet.CurrentPage(), 0);
    EXPECT_DOUBLE_EQ(c.bench.Settings().PollPeriod(), 0.5);
}

TEST(ProgramSettings, PeriodChecksAndStoredFileSettings) {
    EXPECT_TRUE(CheckSettingValue("ExperimentSettings", "strPeriod", "0.5").isEmpty());
    EXPECT_TRUE(CheckSettingValue("ExperimentSettings", "strPeriod", "0,25").isEmpty());
    for (const char* bad : {"0", "-1", "abc", "", "1e9"})
        EXPECT_FALSE(CheckSettingValue("ExperimentSettings", "strPeriod", bad).isEmpty()) << bad;
    EXPECT_FALSE(CheckSettingValue("ComSettingsPort2", "TimeOut", "0").isEmpty());
    EXPECT_FALSE(CheckSettingValue("ComSettingsPort2", "TimeOut", "12.5").isEmpty());
    EXPECT_TRUE(CheckSettingValue("ComSettingsPort2", "TimeOut", "4000").isEmpty());

    Context c;
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    CProgramSettingsPage page(c.ui);
    EXPECT_EQ(page.PeriodEdit()->text(), QString("0.5"));
    EXPECT_TRUE(page.KeepState()->isChecked() == false);
    EXPECT_FALSE(page.RegisterBox()->isChecked());
    page.PeriodEdit()->setText("0,25");
    page.PathEdit()->setText("/tmp/exp/");
    page.TextFormat()->setChecked(true);
    page.KeepState()->setChecked(true);
    page.DateFolders()->setChecked(true);
    ASSERT_TRUE(page.Apply());
    EXPECT_DOUBLE_EQ(c.bench.Settings().PollPeriod(), 0.25);
    EXPECT_EQ(c.settings.GetString("ExperimentSettings", "strPeriod", ""), "0.25");
    EXPECT_EQ(c.settings.GetString("ExperimentSettings", "strPathToSaveFile", ""), "/tmp/exp/");
    EXPECT_EQ(c.settings.GetInt("ExperimentSettings", "FlagSaveToTextFile", 0), 1);
    EXPECT_EQ(c.settings.GetInt("ExperimentSettings", "AddToSavePathDate", 0), 1);
    EXPECT_TRUE(c.bench.Settings().saveFileFlag);
    // FlagSaveFlagToFile itself is written only at exit.
    EXPECT_FALSE(c.settings.Contains("ExperimentSettings", "FlagSaveFlagToFile"));
    qunsetenv("XDG_DATA_HOME");
}

TEST(ProgramSettings, LanguageChoiceIsStoredForTheNextStartAndSaidSo) {
    Context c;
    {
        CProgramSettingsPage page(c.ui);
        QComboBox* box = page.LanguageBox();
        ASSERT_NE(box, nullptr);
        ASSERT_EQ(box->count(), 3);
        EXPECT_EQ(box->currentData().toString(), QString("system")) << "unset: the system's";
        EXPECT_EQ(box->itemText(1), QString("Русский"));
        EXPECT_EQ(box->itemText(2), QString("English"));
        bool said = false;
        for (QLabel* label : page.findChildren<QLabel*>())
            said = said || label->text().contains(QString("следующем запуске"));
        EXPECT_TRUE(said) << "the page says when the choice takes effect";
        box->setCurrentIndex(2);
        ASSERT_TRUE(page.Apply());
        EXPECT_EQ(c.settings.GetString("Dravmer", "Language", ""), "en");
    }
    CProgramSettingsPage again(c.ui);
    EXPECT_EQ(again.LanguageBox()->currentData().toString(), QString("en"));
    // A stored value the program does not know shows as the system's.
    c.settings.SetString("Dravmer", "Language", "de");
    CProgramSettingsPage unknown(c.ui);
    EXPECT_EQ(unknown.LanguageBox()->currentData().toString(), QString("system"));
}

TEST(ProgramSettings, AdcRegistrationRoundTripKeepsOtherAssociations) {
    Context c;
    QTemporaryDir data;
    qputenv("XDG_DATA_HOME", data.path().toUtf8());
    CFileTypeRegistration reg;
    QDir().mkpath(data.path() + "/applications");
    {
        QFile list(reg.AssociationsPath());
        ASSERT_TRUE(list.open(QIODevice::WriteOnly));
        list.write("[Default Applications]\ntext/plain=editor.desktop;\n\n[Added Associations]\n"
                   "image/png=viewer.desktop;\n");
    }
    // What an earlier version wrote: a hidden launcher and a type file of its own.
    const QString oldEntry = data.path() + "/applications/dravmer-adc.desktop";
    const QString oldType = data.path() + "/mime/packages/dravmer-adc.xml";
    QDir().mkpath(data.path() + "/mime/packages");
    for (const QString& path : {oldEntry, oldType}) {
        QFile old(path);
        ASSERT_TRUE(old.open(QIODevice::WriteOnly));
        old.write("NoDisplay=true\n");
    }
    {
        CProgramSettingsPage page(c.ui);
        EXPECT_FALSE(page.RegisterBox()->isChecked());
        page.RegisterBox()->setChecked(true);
        ASSERT_TRUE(page.Apply());
    }
    EXPECT_TRUE(reg.IsRegistered());
    EXPECT_TRUE(reg.DesktopEntryPath().endsWith("/applications/dravmer.desktop"));
    QFile entry(reg.DesktopEntryPath());
    ASSERT_TRUE(entry.open(QIODevice::ReadOnly));
    const QString desktop = QString::fromUtf8(entry.readAll());
    // The package's launcher, visible in the menu, opening files with the running program.
    EXPECT_TRUE(desktop.contains("Exec=" + QCoreApplication::applicationFilePath() + " %f\n"));
    EXPECT_TRUE(desktop.contains("MimeType=application/x-dravmer-adc;"));
    EXPECT_TRUE(desktop.contains("\nIcon=dravmer\n"));
    EXPECT_TRUE(desktop.contains("\nCategories="));
    EXPECT_FALSE(desktop.contains("NoDisplay"));
    EXPECT_FALSE(desktop.contains("TryExec"));
    QFile package(reg.MimePackagePath());
    ASSERT_TRUE(package.open(QIODevice::ReadOnly));
    const QByteArray type = package.readAll();
    EXPECT_TRUE(type.contains("<glob pattern=\"*.adc\"/>"));
    EXPECT_TRUE(type.contains("<match type=\"string\" offset=\"0\" value=\"Dravmer format .adc ;\"/>"));
    EXPECT_TRUE(type.contains("<comment>Dravmer experiment data</comment>"));
    EXPECT_TRUE(QFile::exists(reg.IconPath()));
    EXPECT_FALSE(QFile::exists(oldEntry));
    EXPECT_FALSE(QFile::exists(oldType));
    {
        // The page reads the real state, and unticking removes the association.
        CProgramSettingsPage page(c.ui);
        EXPECT_TRUE(page.RegisterBox()->isChecked());
        page.RegisterBox()->setChecked(false);
        ASSERT_TRUE(page.Apply());
    }
    EXPECT_FALSE(reg.IsRegistered());
    EXPECT_FALSE(QFile::exists(reg.DesktopEntryPath()));
    EXPECT_FALSE(QFile::exists(reg.MimePackagePath()));
    EXPECT_FALSE(QFile::exists(reg.IconPath()));
    QFile list(reg.AssociationsPath());
    ASSERT_TRUE(list.open(QIODevice::ReadOnly));
    const QString rest = QString::fromUtf8(list.readAll());
    EXPECT_TRUE(rest.contains("text/plain=editor.desktop;"));
    EXPECT_TRUE(rest.contains("image/png=viewer.desktop;"));
    EXPECT_FALSE(rest.contains("dravmer"));
    // A hand-removed desktop entry reads as not registered.
    ASSERT_TRUE(reg.Register("/opt/dravmer dir/dravmer"));
    EXPECT_TRUE(reg.IsRegistered());
    QFile e2(reg.DesktopEntryPath());
    ASSERT_TRUE(e2.open(QIODevice::ReadOnly));
    EXPECT_TRUE(e2.readAll().contains("Exec=\"/opt/dravmer dir/dravmer\" %f"));
    QFile::remove(reg.DesktopEntryPath());
    EXPECT_FALSE(reg.IsRegistered());
    qunsetenv("XDG_DATA_HOME");
}

TEST(ProgramSettings, AssociationFileEditing) {
    EXPECT_EQ(SetDefaultApplication("", "a/b", "x.desktop"), "[Default Applications]\na/b=x.desktop;\n");
    const QString two = SetDefaultApplication("[Default Applications]\na/b=old.desktop;\nc/d=y;\n",
                                              "a/b", "x.desktop");
    EXPECT_EQ(DefaultApplication(two, "a/b"), "x.desktop");
    EXPECT_EQ(DefaultApplication(two, "c/d"), "y");
    EXPECT_EQ(two.count("a/b="), 1);
    EXPECT_EQ(DefaultApplication(SetDefaultApplication(two, "a/b", {}), "a/b"), "");
    // A key of the same name in another section is not the default.
    EXPECT_EQ(DefaultApplication("[Added Associations]\na/b=z;\n", "a/b"), "");
}

TEST(PortSettings, ApplyWithoutChangeLeavesThePortOpen) {
    Context c;
    Pty pty;
    ASSERT_FALSE(pty.path.empty());
    SPortSettings s = c.bench.Port(0).Settings();
    s.devicePath = pty.path;
    c.bench.Port(0).SetSettings(s);
    ASSERT_TRUE(c.bench.Port(0).Open());
    CPortSettingsPage page(c.ui, 0);
    EXPECT_EQ(page.DeviceBox()->currentText().toStdString(), pty.path);
    EXPECT_FALSE(page.Modified());
    ASSERT_TRUE(page.Apply());
    EXPECT_TRUE(c.bench.Port(0).IsOpen());
    EXPECT_FALSE(c.settings.Contains("ComSettingsPort0", "TimeOut"));

    // A change closes the port, stores the settings and opens it again.
    page.SpeedList()->setCurrentIndex(0);
    EXPECT_TRUE(page.Modified());
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(c.settings.GetInt("ComSettingsPort0", "Speed", 0), 6);
    EXPECT_EQ(c.settings.GetString("ComSettingsPort0", "DevicePath", ""), pty.path);
    EXPECT_TRUE(test::WaitFor([&] { return c.bench.Port(0).IsOpen(); }, 3000));
    c.bench.Port(0).Close();
}

TEST(PortSettings, TypeChangeSuggestsTheTimeOutWhichApplyStores) {
    Context c;
    c.settings.SetInt("ComSettingsPort1", "UseLink", 0);
    c.bench.LoadSettings();
    CPortSettingsPage page(c.ui, 1);
    page.UseBox()->setChecked(true);
    page.TypeList()->setCurrentIndex(kComModemGsm);
    EXPECT_EQ(page.TimeOutEdit()->text(), QString("4000"));
    // Modem fields follow the type in COM mode.
    EXPECT_TRUE(page.PhoneEdit()->isEnabled());
    page.TypeList()->setCurrentIndex(kComRs485RtsHi);
    EXPECT_EQ(page.TimeOutEdit()->text(), QString("300"));
    EXPECT_FALSE(page.PhoneEdit()->isEnabled());
    page.TypeList()->setCurrentIndex(kComModemGsm);
    page.UseBox()->setChecked(false);  // stays closed after apply
    ASSERT_TRUE(page.Apply());
    // The port type alone would give 5000 ms; the page's value is stored.
    EXPECT_EQ(c.settings.GetInt("ComSettingsPort1", "TimeOut", 0), 4000);
    EXPECT_EQ(c.bench.Port(1).Settings().timeOutMs, 4000);
    EXPECT_EQ(c.settings.GetInt("ComSettingsPort1", "bComType", 0), kComModemGsm);
    EXPECT_FALSE(c.bench.Port(1).IsOpen());
}

TEST(PortSettings, EachModePickedByClickIsTheOneStored) {
    Context c;
    // The modes the operator can click, picked in an order that leaves each one after another.
    for (int mode : {kLinkModeServer, kLinkModeNetServer, kLinkModeCom, kLinkModeServer,
                     kLinkModeCom, kLinkModeNetServer}) {
        CPortSettingsPage page(c.ui, 3);
        page.show();
        page.UseBox()->setChecked(true);
        QTest::mouseClick(page.ModeRadio(mode), Qt::LeftButton);
        for (int other = 0; other < 4; ++other)
            EXPECT_EQ(page.ModeRadio(other)->isChecked(), other == mode) << mode << " " << other;
        // Switched off before OK, so nothing tries to reach a server.
        page.UseBox()->setChecked(false);
        ASSERT_TRUE(page.Apply());
        EXPECT_EQ(c.settings.GetInt("ComSettingsPort3", "bLinkMode", -1), mode);
        EXPECT_EQ(c.settings.GetInt("ComSettingsPort3", "UseServer", -1),
                  mode == kLinkModeServer ? 1 : 0);
        EXPECT_EQ(c.bench.Port(3).Settings().linkMode, mode);
    }
}

TEST(PortSettings, UnlistedSpeedHiddenModeAndBadTimeOut) {
    Context c;
    c.settings.SetInt("ComSettingsPort2", "Speed", 7);  // 14400 baud is not in the list
    c.settings.SetInt("ComSettingsPort2", "UseLink", 0);
    c.bench.LoadSettings();
    SPortSettings s = c.bench.Port(2).Settings();
    s.linkMode = kLinkModeZhvl;
    c.bench.Port(2).SetSettings(s);
    CPortSettingsPage page(c.ui, 2);
    EXPECT_EQ(page.SpeedList()->currentIndex(), -1);
    EXPECT_TRUE(page.ModeRadio(kLinkModeZhvl)->isChecked());
    EXPECT_TRUE(page.ModeRadio(kLinkModeZhvl)->isHidden());
    // Port switched off: every control but the switch is disabled.
    EXPECT_FALSE(page.ComList()->isEnabled());
    EXPECT_FALSE(page.ModeRadio(kLinkModeCom)->isEnabled());
    page.UseBox()->setChecked(true);
    page.ModeRadio(kLinkModeServer)->click();
    EXPECT_TRUE(page.ServerBox()->isEnabled());
    EXPECT_FALSE(page.ComList()->isEnabled());
    EXPECT_FALSE(page.TimeOutEdit()->isEnabled());
    page.TimeOutEdit()->setText("0");
    QTimer::singleShot(0, [] {
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(w)) box->accept();
    });
    EXPECT_FALSE(page.Apply());
    page.TimeOutEdit()->setText("700");
    page.UseBox()->setChecked(false);
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(c.bench.Port(2).Settings().speed, 7);
    EXPECT_EQ(c.settings.GetInt("ComSettingsPort2", "UseServer", 0), 1);
}

TEST(PortSettings, DtrAndRtsChoicesSayThatHandshakeRaisesTheLine) {
    Context c;
    c.settings.SetInt("ComSettingsPort0", "UseLink", 0);
    c.settings.SetInt("ComSettingsPort0", "DTR", kDtrHandshake);
    c.settings.SetInt("ComSettingsPort0", "RTS", kRtsToggle);
    c.bench.LoadSettings();
    CPortSettingsPage page(c.ui, 0);
    ASSERT_EQ(page.DtrList()->count(), 3);
    ASSERT_EQ(page.RtsList()->count(), 4);
    EXPECT_EQ(page.DtrList()->currentIndex(), kDtrHandshake);
    EXPECT_EQ(page.RtsList()->currentIndex(), kRtsToggle);
    for (QComboBox* list : {page.DtrList(), page.RtsList()}) {
        // What "handshake" does here is said where the choice is made, and to a screen reader.
        EXPECT_TRUE(list->toolTip().contains("Linux")) << list->toolTip().toStdString();
        EXPECT_TRUE(list->toolTip().contains("остаётся включённой"));
        EXPECT_EQ(list->accessibleDescription(), list->toolTip());
        EXPECT_FALSE(list->accessibleName().isEmpty());
        EXPECT_TRUE(list->itemText(kDtrHandshake).contains("= включена"));
        EXPECT_FALSE(list->isEnabled());  // the port is off
    }
    page.UseBox()->setChecked(true);
    EXPECT_TRUE(page.DtrList()->isEnabled());
    // DRAVMER_SHOT_DIR=DIR keeps a picture of the page for looking at by eye.
    if (const char* dir = std::getenv("DRAVMER_SHOT_DIR")) {
        page.resize(page.sizeHint());
        page.grab().save(QString::fromLocal8Bit(dir) + QStringLiteral("/port-page.png"));
    }
    page.ModeRadio(kLinkModeServer)->click();
    EXPECT_FALSE(page.RtsList()->isEnabled());  // a COM server's line is not ours to set
    page.ModeRadio(kLinkModeCom)->click();
    page.DtrList()->setCurrentIndex(kDtrDisable);
    page.RtsList()->setCurrentIndex(kRtsHandshake);
    page.UseBox()->setChecked(false);
    ASSERT_TRUE(page.Apply());
    EXPECT_EQ(c.settings.GetInt("ComSettingsPort0", "DTR", -1), kDtrDisable);
    EXPECT_EQ(c.settings.GetInt("ComSettingsPort0", "RTS", -1), kRtsHandshake);
    EXPECT_FALSE(c.bench.Port(0).Settings().DtrRaised());
    EXPECT_TRUE(c.bench.Port(0).Settings().RtsRaised());
}

}  // namespace
}  // namespace dravmer::ui
