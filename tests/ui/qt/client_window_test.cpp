// The real client in the real window, against the local mining service on loopback.
#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QtTest>
#include <clocale>
#include <memory>

#include "client/miner_core.h"
#include "support/mining_service_process.h"
#include "support/sandbox.h"
#include "support/service_database.h"
#include "ui/common/control_delivery.h"
#include "ui/qt/qxclient_dlg.h"

namespace {

constexpr char kDemoSerial[] = "KST-DEMO-0001";

// A service of its own with a fresh database, and a client with its own folders.
struct LiveClient {
  LiveClient() {
    MiningServiceOptions options;
    options.binary = KESTRAVON_SERVICE_BIN;
    options.databasePath = box.File("service.db");
    options.seedSerial = kDemoSerial;
    options.clientVersion = "0.216";
    options.boostEvery = 0;
    options.stderrPath = box.File("service.log");
    service = std::make_unique<MiningServiceProcess>(options);
  }

  bool Start() {
    if (!service->Start()) return false;
    const std::string install = box.MakeDir("install");
    const std::string temp = box.MakeDir("temp") + "/";
    WriteFileBytes(install + "/config.ini",
                   "[SerialNo]\r\nNo=KST-DEMO-0001\r\n[Version]\r\nClient=0.216\r\n");
    env = services.Environment();
    env.serviceRoot = service->BaseUrl();
    env.patchRoot = "http://localhost:" + std::to_string(service->Port());
    env.installDir = install;
    env.tempDir = temp;
    env.closingPause = std::chrono::milliseconds(100);
    client = std::make_unique<MinerCore>(env, delivery);
    window = std::make_unique<CQXCLIENTDlg>(*client, delivery);
    window->show();
    return QTest::qWaitForWindowExposed(window.get());
  }

  QString Text(int id) const {
    QWidget* w = window->Item(id);
    if (auto* e = qobject_cast<QLineEdit*>(w)) return e->text();
    if (auto* c = qobject_cast<QComboBox*>(w)) return c->currentText();
    if (auto* b = qobject_cast<QPushButton*>(w)) return b->text();
    if (auto* p = qobject_cast<QPlainTextEdit*>(w)) return p->toPlainText();
    return {};
  }

  Sandbox box;
  std::unique_ptr<MiningServiceProcess> service;
  SystemServices services;
  ClientEnvironment env;
  ControlDelivery delivery;
  std::unique_ptr<MinerCore> client;
  std::unique_ptr<CQXCLIENTDlg> window;
};

}  // namespace

class ClientWindowTest : public QObject {
  Q_OBJECT

 private slots:
  void initTestCase() { std::setlocale(LC_NUMERIC, "C"); }
  void dashboardAfterStartUp();
  void startStopAndRefreshesWithTheRealWorker();
};

void ClientWindowTest::dashboardAfterStartUp() {
  LiveClient live;
  QVERIFY2(live.Start(), live.service->StartError().c_str());
  // Shown with the downloaded record in place and the power-on notice sent.
  QCOMPARE(live.Text(1003), QString::fromLatin1(kDemoSerial));
  QCOMPARE(live.Text(1004), QString::fromStdString(live.env.macText()));
  QCOMPARE(live.Text(1008), QString::fromUtf8("케스트라본 채굴기 1호"));
  QCOMPARE(live.Text(1009), QStringLiteral("0.216"));
  QCOMPARE(live.Text(1006), QStringLiteral("Mare Boreum quadrangle"));
  QCOMPARE(live.Text(1013), QString::fromUtf8("37.512345 °"));
  QCOMPARE(live.Text(1014), QStringLiteral("250 / 300 gas"));
  QCOMPARE(live.Text(1037), QStringLiteral("3"));
  QCOMPARE(live.Text(1023), QStringLiteral("128"));
  // Texts shown as they are may be longer than a formatted number; the window shows
  // them whole.
  QCOMPARE(live.Text(1019), QStringLiteral("KSTmarsBoreumSite00000000000000001"));
  QCOMPARE(live.Text(1029), QStringLiteral("KSTdemoUser000000000000000000000001"));
  QCOMPARE(live.Text(1040), QStringLiteral("1520.250000"));
  QCOMPARE(live.Text(1000), QStringLiteral("STOP"));
  QVERIFY(qobject_cast<QAbstractButton*>(live.window->Item(1041))->isChecked());
  QVERIFY(qobject_cast<QAbstractButton*>(live.window->Item(1017))->isChecked());
  QVERIFY(live.Text(1054).startsWith(QString::fromUtf8(
      "Initialize..\nDownloading Machine Information..\n케스트라본 채굴기 1호 Start Mining..\n")));
  QVERIFY(!live.Text(1054).contains(QStringLiteral("Server Disconnected")));
  QCOMPARE(PowerNoticesOf(live.box.File("service.db"), kDemoSerial), std::vector<int>{1});

  // Mining goes on: blocks arrive in the mining log and the machine's KEST grows.
  const QString kestBefore = live.Text(1052);
  QTRY_VERIFY(live.Text(1046).contains(QStringLiteral("KEST - Mining complete\n Hash : QXx")));
  QTRY_VERIFY(live.Text(1052) != kestBefore);
  // The pane rule keeps the mining log short however fast the worker goes.
  QTest::qWait(1500);
  QVERIFY(live.Text(1046).size() < 4096 + 512);

  // Closing ends the session with the power-off notice.
  live.window->reject();
  QCOMPARE(PowerNoticesOf(live.box.File("service.db"), kDemoSerial), (std::vector<int>{1, 0}));
  live.window.reset();
  QVERIFY(!live.client->Running());
}

void ClientWindowTest::startStopAndRefreshesWithTheRealWorker() {
  LiveClient live;
  QVERIFY2(live.Start(), live.service->StartError().c_str());
  QWidget* button = live.window->Item(1000);

  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(live.Text(1000), QStringLiteral("Start"));
  QVERIFY(live.Text(1054).endsWith(QString::fromUtf8("케스트라본 채굴기 1호 Stop Mining..\n")));
  QTest::qWait(200);  // nothing renders while mining is off
  QCOMPARE(live.Text(1000), QStringLiteral("Start"));

  QTest::mouseClick(button, Qt::LeftButton);
  QCOMPARE(live.Text(1000), QStringLiteral("Stop"));
  QTRY_COMPARE(live.Text(1000), QStringLiteral("STOP"));

  // Typed text stays only until the next refresh.
  auto* name = qobject_cast<QLineEdit*>(live.window->Item(1008));
  name->setFocus();
  name->selectAll();
  QTest::keyClicks(name, QStringLiteral("typed"));
  QTRY_COMPARE(live.Text(1008), QString::fromUtf8("케스트라본 채굴기 1호"));

  live.window->reject();
  QCOMPARE(PowerNoticesOf(live.box.File("service.db"), kDemoSerial), (std::vector<int>{1, 0}));
}

QTEST_MAIN(ClientWindowTest)
#include "client_window_test.moc"
