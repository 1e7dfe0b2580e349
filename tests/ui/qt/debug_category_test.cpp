// The program's debug output as a logging category: off by default, on with a rule,
// warnings shown either way; and the real program quiet on a terminal.
#include <sys/stat.h>

#include <QLoggingCategory>
#include <QProcess>
#include <QtTest>
#include <csignal>
#include <mutex>
#include <thread>
#include <vector>

#include "support/sandbox.h"
#include "support/scripted_http_server.h"
#include "ui/qt/category_debug_output.h"
#include "ui/qt/debug_category.h"

namespace {

struct Logged {
  QtMsgType type;
  QString category;
  QString text;
};

std::mutex loggedMutex;
std::vector<Logged> logged;

void Capture(QtMsgType type, const QMessageLogContext& context, const QString& text) {
  std::lock_guard<std::mutex> lock(loggedMutex);
  logged.push_back({type, QString::fromLatin1(context.category), text});
}

// "D:" for debug, "W:" for warning, then the text; only lines of our category and the
// program's own warnings (the default category).
QStringList TakeLogged() {
  std::lock_guard<std::mutex> lock(loggedMutex);
  QStringList out;
  for (const Logged& l : logged) {
    if (l.category != QLatin1String("kestravon.debug") && l.category != QLatin1String("default")) continue;
    out << (l.type == QtDebugMsg     ? QStringLiteral("D:")
            : l.type == QtWarningMsg ? QStringLiteral("W:")
                                     : QStringLiteral("?:")) +
               l.text;
  }
  logged.clear();
  return out;
}

}  // namespace

class DebugCategoryTest : public QObject {
  Q_OBJECT

 private slots:
  void init();
  void cleanup();
  void offByDefaultOnWithTheRule();
  void sinkRoutesLines_data();
  void sinkRoutesLines();
  void linesOfDifferentThreadsDoNotMix();
  void programIsQuietButWarns_data();
  void programIsQuietButWarns();

 private:
  QtMessageHandler previous_ = nullptr;
};

void DebugCategoryTest::init() {
  QLoggingCategory::setFilterRules(QString());
  TakeLogged();
  previous_ = qInstallMessageHandler(Capture);
}

void DebugCategoryTest::cleanup() {
  qInstallMessageHandler(previous_);
  QLoggingCategory::setFilterRules(QString());
}

void DebugCategoryTest::offByDefaultOnWithTheRule() {
  QVERIFY(!kestravonDebug().isDebugEnabled());
  QVERIFY(!kestravonDebug().isInfoEnabled());
  QVERIFY(kestravonDebug().isWarningEnabled());
  QLoggingCategory::setFilterRules(QStringLiteral("kestravon.*=true"));
  QVERIFY(kestravonDebug().isDebugEnabled());
  QVERIFY(kestravonDebug().isWarningEnabled());
}

void DebugCategoryTest::sinkRoutesLines_data() {
  QTest::addColumn<QString>("rules");
  QTest::addColumn<QStringList>("pieces");  // written one by one; "!" first: Warn()
  QTest::addColumn<QStringList>("expected");
  const QString on = QStringLiteral("kestravon.*=true");
  const QString url = QStringLiteral("http://127.0.0.1:8216/Machine/UpdateOnOff.html?sn=KST-1&OnOff=1");
  QTest::newRow("request URL, default: silent") << QString() << QStringList{url, "\r\n"} << QStringList{};
  QTest::newRow("request URL, rule on: one line")
      << on << QStringList{url, "\r\n"} << QStringList{"D:" + url};
  QTest::newRow("no line end yet: held") << on << QStringList{url} << QStringList{};
  QTest::newRow("two lines in one write") << on << QStringList{"a\r\nb\r\n"} << QStringList{"D:a", "D:b"};
  QTest::newRow("self-update refused: a warning by default")
      << QString() << QStringList{"Self-update: the signature does not verify\r\n"}
      << QStringList{"W:Self-update: the signature does not verify"};
  QTest::newRow("reply folder: a warning by default")
      << QString()
      << QStringList{"reply folder is not private, answer dropped: /run/user/1/kestravon/", "\r\n"}
      << QStringList{"W:reply folder is not private, answer dropped: /run/user/1/kestravon/"};
  QTest::newRow("control bytes cannot forge lines or colours")
      << QString() << QStringList{"Self-update: a\x1b[2Jb\tc\r\n"}
      << QStringList{"W:Self-update: a\\x1b[2Jb\\x09c"};
  QTest::newRow("warning of the session")
      << QString() << QStringList{"!no answer from the mining service"}
      << QStringList{"W:kestravon-miner: no answer from the mining service"};
}

void DebugCategoryTest::sinkRoutesLines() {
  QFETCH(QString, rules);
  QFETCH(QStringList, pieces);
  QFETCH(QStringList, expected);
  QLoggingCategory::setFilterRules(rules);
  CategoryDebugOutput sink;
  for (const QString& piece : pieces) {
    const QByteArray bytes = piece.toUtf8();
    if (bytes.startsWith('!')) {
      sink.Warn(bytes.constData() + 1);
    } else {
      sink.Write(bytes.constData());
    }
  }
  QCOMPARE(TakeLogged(), expected);
}

void DebugCategoryTest::linesOfDifferentThreadsDoNotMix() {
  QLoggingCategory::setFilterRules(QStringLiteral("kestravon.*=true"));
  CategoryDebugOutput sink;
  sink.Write("window: half");
  std::thread worker([&] { sink.Write("worker: whole\r\n"); });
  worker.join();
  sink.Write(" and the rest\r\n");
  QCOMPARE(TakeLogged(), (QStringList{"D:worker: whole", "D:window: half and the rest"}));
}

void DebugCategoryTest::programIsQuietButWarns_data() {
  QTest::addColumn<QString>("rules");
  QTest::addColumn<bool>("tracesRequests");
  QTest::addColumn<bool>("withSerial");
  QTest::newRow("default") << QString() << false << true;
  QTest::newRow("kestravon.*=true") << QStringLiteral("kestravon.*=true") << true << true;
  QTest::newRow("no config.ini") << QString() << false << false;
}

void DebugCategoryTest::programIsQuietButWarns() {
  QFETCH(QString, rules);
  QFETCH(bool, tracesRequests);
  QFETCH(bool, withSerial);
  // Nothing listens at the service root: the start-up gets no answer, which the user is
  // told; the power-on notice is traced only when the rule asks for it.
  Sandbox box;
  const std::string install = box.MakeDir("install");
  const std::string temp = box.MakeDir("temp") + "/";
  if (withSerial)
    WriteFileBytes(install + "/config.ini", "[SerialNo]\nNo=KST-DEMO-0001\n[Version]\nClient=0.216\n");
  const QString root = QStringLiteral("http://127.0.0.1:%1").arg(UnusedLoopbackPort());

  QProcess program;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
  // Qt sends messages to the journal when standard error is no terminal; here it is a pipe.
  environment.insert(QStringLiteral("QT_FORCE_STDERR_LOGGING"), QStringLiteral("1"));
  environment.remove(QStringLiteral("QT_LOGGING_RULES"));
  // Qt's own complaint about a missing runtime folder is not ours to check.
  const std::string runtime = box.MakeDir("run");
  chmod(runtime.c_str(), 0700);
  environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime));
  if (!rules.isEmpty()) environment.insert(QStringLiteral("QT_LOGGING_RULES"), rules);
  program.setProcessEnvironment(environment);
  program.start(QStringLiteral(KESTRAVON_MINER_FOR_TESTS),
                {QStringLiteral("--service-root"), root, QStringLiteral("--patch-root"), root,
                 QStringLiteral("--install-dir"), QString::fromStdString(install),
                 QStringLiteral("--temp-dir"), QString::fromStdString(temp)});
  QVERIFY(program.waitForStarted());
  QByteArray err;
  const QByteArray warning = "kestravon-miner: no answer from the mining service at " + root.toLatin1() +
                             " at start-up; mining stays off. The local service starts with: "
                             "systemctl --user start mining-service";
  // The warning comes after the machine information and before the power-on notice.
  QTRY_VERIFY_WITH_TIMEOUT((err += program.readAllStandardError()).contains(warning), 15000);
  QTest::qWait(500);
  QCOMPARE(::kill(static_cast<pid_t>(program.processId()), SIGTERM), 0);
  QVERIFY(program.waitForFinished(15000));
  err += program.readAllStandardError();
  QCOMPARE(program.exitCode(), 0);
  QCOMPARE(err.contains("/Machine/UpdateOnOff.html?sn=KST-DEMO-0001"), tracesRequests);
  // Without a serial number the user is told, before anything else, which file lacks
  // which line.
  const QByteArray noSerial = "kestravon-miner: no serial number in " + QByteArray::fromStdString(install) +
                              "/config.ini: write the machine's serial number there as the two lines "
                              "\"[SerialNo]\" and \"No=<serial number>\"";
  QCOMPARE(err.contains(noSerial), !withSerial);
  if (!tracesRequests) {
    // The lines of a quiet start: nothing else on the terminal.
    const QList<QByteArray> lines = err.trimmed().split('\n');
    QCOMPARE(lines.size(), withSerial ? 1 : 2);
    QCOMPARE(lines.back(), warning);
    if (!withSerial) QVERIFY(lines.front().startsWith(noSerial));
  }
}

QTEST_GUILESS_MAIN(DebugCategoryTest)
#include "debug_category_test.moc"
