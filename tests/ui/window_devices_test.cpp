// What the window shows of the devices around a start and a search: a start after a load shows
// the devices it polls; a search with no port open is refused and keeps the list; a start on a
// line that has stopped answering shows its wait while the first try still runs.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QAction>
#include <QComboBox>
#include <QMessageBox>
#include <QStatusBar>
#include <QTabWidget>
#include <atomic>
#include <ctime>
#include <thread>

#include "files/experiment_files.h"
#include "link/com_server_message.h"
#include "platform/tcp_listen.h"
#include "ui/command_table.h"
#include "ui/dialogs/wait_device_dialog.h"
#include "ui/graphs/curve_list_page.h"
#include "ui/pages/device_list_model.h"
#include "ui/pages/device_list_page.h"
#include "window_rig.h"

namespace dravmer::ui {
namespace {

using test::CWindowRig;
using test::WaitFor;

int StartAndWait(CMainFrame& frame) {
    int result = -1;
    auto c = QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { result = r; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    WaitFor([&] { return result >= 0; }, 60000);
    QObject::disconnect(c);
    return result;
}

void StopAndWait(CMainFrame& frame) {
    bool stopped = false;
    auto c = QObject::connect(&frame, &CMainFrame::stopFinished, [&](double) { stopped = true; });
    frame.Commands().Get(cmd::StopExperiment)->trigger();
    WaitFor([&] { return stopped; }, 60000);
    QObject::disconnect(c);
}

int SearchAndWait(CMainFrame& frame) {
    int found = -100;
    auto c = QObject::connect(&frame, &CMainFrame::searchFinished, [&](int n) { found = n; });
    frame.Commands().Get(cmd::SearchDevices)->trigger();
    WaitFor([&] { return found != -100; }, 60000);
    QObject::disconnect(c);
    return found;
}

// The addresses each part of the window shows, as "101;102;".
struct SShown {
    QString box, list, curves, polled;
};

SShown Shown(CWindowRig& rig) {
    CMainFrame& frame = *rig.frame;
    SShown s;
    QComboBox* box = frame.Commands().DeviceBox();
    for (int i = 0; i < box->count(); ++i) s.box += box->itemText(i) + ';';
    auto* list = frame.Pages()->findChild<CDeviceListPage*>();
    for (int r = 0; list && r < list->Model()->rowCount(); ++r)
        s.list += list->Model()->index(r, 1).data().toString() + ';';
    auto* curves = frame.Pages()->findChild<CCurveListPage*>();
    for (int c = 1; curves && c <= curves->Model()->DeviceCount(); ++c)
        s.curves += curves->Model()->headerData(c, Qt::Horizontal, Qt::DisplayRole).toString() + ';';
    for (const SActiveDevice& d : rig.bench->ActiveDevices())
        s.polled += QString::number(d.address) + ';';
    return s;
}

// Writes the experiment files of devices 301..303, taken on 6 December 2026.
QString WriteLoadedExperiment(const QString& folder) {
    std::tm day{};
    day.tm_year = 126;
    day.tm_mon = 11;
    day.tm_mday = 6;
    day.tm_hour = 10;
    day.tm_isdst = -1;
    std::vector<int> columns;
    for (int i = 0; i < kParamCount; ++i) columns.push_back(i);
    QString last;
    for (int address = 301; address <= 303; ++address) {
        CDeviceData store;
        for (int k = 0; k < 20; ++k) {
            CMeasRecord r;
            r.time = static_cast<std::uint32_t>(k);
            r.ug = static_cast<float>(address);
            store.AddSample(r);
        }
        store.SetStartTime(std::mktime(&day));
        last = folder + QStringLiteral("/261206-003-000%1.adc").arg(address);
        EXPECT_EQ(SaveStoreAs(store, last.toStdString(), false, columns, SFileOptions()), 0);
    }
    return last;
}

TEST(WindowDevices, AStartAfterALoadShowsTheDevicesItPollsEverywhere) {
    CWindowRig rig({{900001, 3, 101}, {0, 1, 201}});
    ASSERT_TRUE(rig.ok);
    CMainFrame& frame = *rig.frame;
    ASSERT_EQ(SearchAndWait(frame), 4);
    const QString searched = QStringLiteral("101;102;103;201;");
    EXPECT_EQ(Shown(rig).box, searched);

    QTemporaryDir stored;
    frame.OfferStartupFile(WriteLoadedExperiment(stored.path()));
    SShown loaded = Shown(rig);
    ASSERT_EQ(loaded.polled, QStringLiteral("301;302;303;"));
    EXPECT_EQ(loaded.box, loaded.polled);
    EXPECT_EQ(loaded.list, loaded.polled);
    EXPECT_EQ(loaded.curves, loaded.polled);

    ASSERT_EQ(StartAndWait(frame), static_cast<int>(StartResult::Started));
    ASSERT_TRUE(WaitFor([&] { return rig.bench->Data(0).GetCount() > 0; }));
    QCoreApplication::processEvents();
    const SShown started = Shown(rig);
    EXPECT_EQ(started.polled, searched);
    EXPECT_EQ(started.box, searched);
    EXPECT_EQ(started.list, searched);
    EXPECT_EQ(started.curves, searched);
    // The box's first entry is the device whose store the pages read.
    EXPECT_EQ(frame.View().CurrentDevice(), 0);
    EXPECT_TRUE(frame.windowTitle().contains(QStringLiteral("101"))) << frame.windowTitle().toStdString();
    EXPECT_FALSE(frame.windowTitle().contains(QStringLiteral("301")));

    StopAndWait(frame);
    SShown after = Shown(rig);
    EXPECT_EQ(after.box, searched);
    EXPECT_EQ(after.list, searched);
    EXPECT_EQ(after.curves, searched);
}

TEST(WindowDevices, ASearchWithNoPortOpenIsRefusedAndKeepsTheList) {
    CWindowRig rig({});
    CMainFrame& frame = *rig.frame;
    rig.settings.SetInt(PortSection(0), "UseLink", 1);
    rig.settings.SetString(PortSection(0), "DevicePath", (rig.Out() + "no-such-line").toStdString());
    rig.SetDeviceList({{7001, 0}, {7002, 0}});
    // As at the window's start: the ports open off the UI thread.
    frame.OpenPortsInBackground();
    EXPECT_EQ(SearchAndWait(frame), CBench::kSearchNoPort);
    EXPECT_EQ(rig.settings.GetString("DeviceList", "List", ""), "7001;7002;");
    ASSERT_TRUE(WaitFor([&] { return Shown(rig).list == QStringLiteral("7001;7002;"); }));
    EXPECT_EQ(Shown(rig).box, QStringLiteral("7001;7002;"));
    // The operator is told why, in a box.
    ASSERT_TRUE(WaitFor([&] { return frame.LastMessage() != nullptr; }));
    EXPECT_TRUE(frame.LastMessage()->text().startsWith(
        QStringLiteral("Поиск не выполнен: ни один порт не открыт. Список приборов не изменён.")))
        << frame.LastMessage()->text().toStdString();
    EXPECT_TRUE(frame.LastMessage()->text().contains(QStringLiteral("no-such-line")));
}

// A COM server that greets a client, lets it connect, then never answers again (a server whose
// process stopped): every request waits out the client's reply time-out.
class CFrozenComServer {
public:
    CFrozenComServer() {
        std::string error;
        m_listen = ListenTcp("127.0.0.1", m_port, error);
        m_thread = std::thread([this] { Serve(); });
    }
    ~CFrozenComServer() {
        m_stop = true;
        Drop();
        m_thread.join();
        if (m_listen >= 0) ::close(m_listen);
    }
    int Port() const { return m_port; }
    // Ends the connection, as when the server is finally killed.
    void Drop() {
        const int c = m_client.exchange(-1);
        if (c >= 0) ::shutdown(c, SHUT_RDWR), ::close(c);
    }

private:
    void Serve() {
        pollfd p{m_listen, POLLIN, 0};
        while (!m_stop && ::poll(&p, 1, 50) >= 0) {
            if (!(p.revents & POLLIN)) continue;
            const int c = ::accept(m_listen, nullptr, nullptr);
            if (c < 0) continue;
            SComServerMessage hello;
            hello.type = kCsHello;
            const auto bytes = BuildComServerMessage(hello);
            ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            m_client = c;
            Read(c);
        }
    }
    void Read(int c) {
        unsigned char buffer[kComServerMaxMessage];
        pollfd p{c, POLLIN, 0};
        while (!m_stop && m_client.load() == c) {
            if (::poll(&p, 1, 50) <= 0) continue;
            const ssize_t n = ::recv(c, buffer, sizeof buffer, 0);
            if (n <= 0) return;
            for (const SComServerMessage& m : ParseComServerMessages(buffer, static_cast<int>(n))) {
                if (m.type != kCsConnect || m_connected) continue;
                m_connected = true;
                SComServerMessage ok;
                ok.type = kCsConnect;
                ok.status = kCsStatusOk;
                const auto bytes = BuildComServerMessage(ok);
                ::send(c, bytes.data(), bytes.size(), MSG_NOSIGNAL);
            }
        }
    }
    int m_listen = -1;
    int m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_client{-1};
    bool m_connected = false;
};

TEST(WindowDevices, AStartOnALineThatStoppedAnsweringShowsTheWaitDuringTheFirstTry) {
    CFrozenComServer server;
    ASSERT_GT(server.Port(), 0);
    CWindowRig rig({});
    CMainFrame& frame = *rig.frame;
    rig.settings.SetInt(PortSection(0), "UseLink", 1);
    rig.settings.SetInt(PortSection(0), "UseServer", 1);
    rig.settings.SetInt(PortSection(0), "bLinkMode", kLinkModeServer);
    rig.settings.SetString(PortSection(0), "ServerName", "127.0.0.1");
    rig.SetDeviceList({{7001, 0}});
    rig.bench->Port(0).SetComServerTcpPort(server.Port());
    ASSERT_TRUE(rig.bench->Port(0).Open());

    QElapsedTimer clock;
    clock.start();
    int result = -1;
    QObject::connect(&frame, &CMainFrame::startFinished, [&](int r) { result = r; });
    // The engine says when its first try of the device has failed.
    bool firstTryEnded = false;
    QObject::connect(&frame.Events(), &CBenchEvents::waitingForDevice,
                     [&](int, quint32) { firstTryEnded = true; });
    frame.Commands().Get(cmd::StartExperiment)->trigger();
    ASSERT_TRUE(WaitFor([&] { return frame.WaitDialog() != nullptr || result >= 0; }, 60000));
    const double shownAfter = clock.nsecsElapsed() / 1e9;
    ASSERT_NE(frame.WaitDialog(), nullptr);
    // The wait shows while the first try still waits out the client's time-outs (which kept
    // the window grey and silent for some 16 to 18 s).
    EXPECT_FALSE(firstTryEnded) << shownAfter << " s";
    EXPECT_EQ(frame.WaitDialog()->Address(), 7001u);
    EXPECT_EQ(frame.WaitDialog()->windowTitle(), QString("Ожидание связи с прибором"));
    EXPECT_TRUE(frame.WaitDialog()->Note().startsWith(QStringLiteral("Порт 1 (127.0.0.1 (1))")))
        << frame.WaitDialog()->Note().toStdString();
    std::printf("[figures] the wait shows %.2f s after the start command\n", shownAfter);

    // Cancel is taken at once; the start ends when the exchange under way does, and says so
    // meanwhile.
    frame.WaitDialog()->reject();
    EXPECT_TRUE(frame.statusBar()->currentMessage().startsWith(QStringLiteral("Запуск отменяется")));
    server.Drop();
    ASSERT_TRUE(WaitFor([&] { return result >= 0; }, 60000));
    EXPECT_EQ(result, static_cast<int>(StartResult::Cancelled));
    EXPECT_EQ(frame.WaitDialog(), nullptr);
    EXPECT_FALSE(rig.bench->IsRunning());
    EXPECT_FALSE(frame.statusBar()->currentMessage().startsWith(QStringLiteral("Запуск отменяется")));
    EXPECT_TRUE(frame.Commands().Get(cmd::StartExperiment)->isEnabled());
}

}  // namespace
}  // namespace dravmer::ui
