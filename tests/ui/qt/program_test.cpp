// The program as a whole: its application object, window, client and signal handling,
// run as a process against the local service.
#include <sys/stat.h>

#include <QElapsedTimer>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <memory>

#include "support/mining_service_process.h"
#include "support/sandbox.h"
#include "support/service_database.h"

class ProgramTest : public QObject {
  Q_OBJECT

 private slots:
  void stopSignalClosesLikeCancel_data();
  void stopSignalClosesLikeCancel();
  void programReadsNoCommandLine();
  void startUpWarnsOfAPrivateFolderOthersCanChange();
};

void ProgramTest::stopSignalClosesLikeCancel_data() {
  QTest::addColumn<int>("signalNumber");
  QTest::newRow("SIGTERM") << int(SIGTERM);
  QTest::newRow("SIGINT") << int(SIGINT);
}

void ProgramTest::stopSignalClosesLikeCancel() {
  QFETCH(int, signalNumber);
  Sandbox box;
  MiningServiceOptions options;
  options.binary = KESTRAVON_SERVICE_BIN;
  options.databasePath = box.File("service.db");
  options.seedSerial = "KST-DEMO-0001";
  options.clientVersion = "0.216";
  options.boostEvery = 0;
  options.stderrPath = box.File("service.log");
  MiningServiceProcess service(options);
  QVERIFY2(service.Start(), service.StartError().c_str());
  const std::string install = box.MakeDir("install");
  const std::string temp = box.MakeDir("temp") + "/";
  WriteFileBytes(install + "/config.ini", "[SerialNo]\nNo=KST-DEMO-0001\n[Version]\nClient=0.216\n");

  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(QStringLiteral(KESTRAVON_MINER_FOR_TESTS),
                {QStringLiteral("--service-root"), QString::fromStdString(service.BaseUrl()),
                 QStringLiteral("--patch-root"), QStringLiteral("http://localhost:%1").arg(service.Port()),
                 QStringLiteral("--install-dir"), QString::fromStdString(install),
                 QStringLiteral("--temp-dir"), QString::fromStdString(temp)});
  QVERIFY(program.waitForStarted());

  // Up and mining: the power-on notice has arrived.
  const auto notices = [&] { return PowerNoticesOf(options.databasePath, "KST-DEMO-0001"); };
  QTRY_VERIFY_WITH_TIMEOUT(notices() == std::vector<int>{1}, 15000);
  QTest::qWait(500);
  QCOMPARE(program.state(), QProcess::Running);

  QElapsedTimer closing;
  closing.start();
  QCOMPARE(::kill(static_cast<pid_t>(program.processId()), signalNumber), 0);
  QVERIFY(program.waitForFinished(10000));
  const qint64 elapsed = closing.elapsed();
  qInfo("the program ended %lld ms after the signal", static_cast<long long>(elapsed));

  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 0);
  // The window closed as Cancel does: the power-off notice went out, the 2000 ms pause
  // ran, the worker stopped, and the program ended within a second of the pause.
  QCOMPARE(notices(), (std::vector<int>{1, 0}));
  QVERIFY2(elapsed >= 2000, qPrintable(QStringLiteral("ended after %1 ms").arg(elapsed)));
  QVERIFY2(elapsed <= 3000, qPrintable(QStringLiteral("ended after %1 ms").arg(elapsed)));
}

void ProgramTest::programReadsNoCommandLine() {
#ifndef KESTRAVON_MINER
  QSKIP("the program kestravon-miner is not built");
#else
  // Options the window system would take (an unknown platform plugin ends the program at
  // once) are not the program's: it has no command line, so it starts as usual.
  Sandbox box;
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  environment.insert(QStringLiteral("XDG_DATA_HOME"), QString::fromStdString(box.MakeDir("data")));
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(box.MakeDir("run")));
  environment.insert(QStringLiteral("TMPDIR"), QString::fromStdString(box.MakeDir("tmp")));
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::ForwardedChannels);
  program.start(QStringLiteral(KESTRAVON_MINER),
                {QStringLiteral("-platform"), QStringLiteral("no-such-platform"), QStringLiteral("-reverse"),
                 QStringLiteral("-stylesheet"), QStringLiteral("/no/such/file.qss")});
  QVERIFY(program.waitForStarted());
  QVERIFY2(!program.waitForFinished(2000), "the program ended by itself");
  QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
  QVERIFY(program.waitForFinished(15000));
  QCOMPARE(program.exitStatus(), QProcess::NormalExit);
  QCOMPARE(program.exitCode(), 0);
#endif
}

// The reply folder sits in a folder anyone may change (not sticky): every answer would be
// dropped, so the window says so as it starts, what stands in the way and the way out.
void ProgramTest::startUpWarnsOfAPrivateFolderOthersCanChange() {
  Sandbox box;
  const std::string shared = box.MakeDir("shared");
  QCOMPARE(::chmod(shared.c_str(), 0777), 0);
  const std::string temp = shared + "/temp";
  QCOMPARE(::mkdir(temp.c_str(), 0700), 0);
  const std::string install = box.MakeDir("install");
  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  program.setProcessEnvironment(environment);
  program.setProcessChannelMode(QProcess::SeparateChannels);
  // Nothing listens on the discard port: the session finds no service, quickly.
  program.start(
      QStringLiteral(KESTRAVON_MINER_FOR_TESTS),
      {QStringLiteral("--service-root"), QStringLiteral("http://127.0.0.1:9"), QStringLiteral("--patch-root"),
       QStringLiteral("http://127.0.0.1:9"), QStringLiteral("--install-dir"), QString::fromStdString(install),
       QStringLiteral("--temp-dir"), QString::fromStdString(temp + "/")});
  QVERIFY(program.waitForStarted());
  QByteArray said;
  const QByteArray expected = "reply folder is not private: " + QByteArray::fromStdString(shared) +
                              " may be changed by other users (mode 0777, not sticky); set XDG_RUNTIME_DIR";
  QTRY_VERIFY_WITH_TIMEOUT((said += program.readAllStandardError()).contains(expected), 15000);
  QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
  QVERIFY(program.waitForFinished(15000));
}

QTEST_GUILESS_MAIN(ProgramTest)
#include "program_test.moc"
