// Automation: the screenshot driver and the benchmark driver.
#include "app/Automation.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMessageBox>
#include <QPainter>
#include <QTimer>

#include <cstdio>

#include "app/MainWindow.h"
#include "app/NamespaceDialog.h"
#include "app/QtText.h"

namespace vey::app {
namespace {

void Wait(int ms) {
  QEventLoop loop;
  QTimer::singleShot(ms, &loop, &QEventLoop::quit);
  loop.exec();
}

// Questions answered Yes, boxes noted on standard error, no file or folder chosen.
class Answering : public platform::IMessageBoxes, public platform::IOpenDialog, public platform::IFolderChooser {
 public:
  void ShowWarning(std::string_view text) override { Note("warning", text); }
  void ShowInfo(std::string_view text) override { Note("info", text); }
  bool AskYesNo(std::string_view text) override {
    Note("question", text);
    return true;
  }
  bool Execute() override { return false; }
  std::string BrowseForFolder(std::string_view, unsigned) override { return {}; }
  int warnings = 0;

 private:
  void Note(const char* kind, std::string_view text) {
    if (std::string_view(kind) == "warning") ++warnings;
    std::fprintf(stderr, "[%s] %s\n", kind, Win1252ToUtf8(text).c_str());
  }
};

class Bench : public Automation {
 public:
  DialogLayer Dialogs() override { return {&answers_, &answers_, &answers_, nullptr}; }
  int ExecNamespaceDialog(NamespaceDialog&) override { return QDialog::Accepted; }
  void Drive(MainWindow& window) override {
    // The worst gap between ticks of a 10 ms timer is the longest time the
    // window could not react.
    auto* ticker = new QTimer(&window);
    ticker->setInterval(10);
    auto last = std::make_shared<QElapsedTimer>();
    auto worst = std::make_shared<qint64>(0);
    auto run = std::make_shared<QElapsedTimer>();
    auto worstAt = std::make_shared<qint64>(0);
    QObject::connect(ticker, &QTimer::timeout, &window, [last, worst, worstAt, run] {
      const qint64 gap = last->restart();
      if (gap > *worst) {
        *worst = gap;
        *worstAt = run->elapsed();
      }
    });
    QObject::connect(&window, &MainWindow::RunFinished, &window, [this, &window, ticker, run, worst, last, worstAt] {
      *worst = std::max(*worst, last->elapsed());
      ticker->stop();
      std::printf("window-run-seconds %.3f\nlongest-stall-ms %lld\nlongest-stall-ended-at-ms %lld\nlog-lines %d\n",
                  run->elapsed() / 1000.0, static_cast<long long>(*worst), static_cast<long long>(*worstAt),
                  window.txtLog->blockCount() + window.txtFallback->blockCount());
      std::fflush(stdout);
      status_ = answers_.warnings > 0 ? 1 : 0;
      QApplication::quit();
    });
    QTimer::singleShot(0, &window, [&window, ticker, last, run] {
      run->start();
      last->start();
      ticker->start();
      window.btnContinueClick();
      if (!window.Running()) QApplication::quit();
    });
  }
  int ExitStatus() const override { return status_; }

 private:
  Answering answers_;
  int status_ = 2;
};

// Real message boxes, grabbed while they are up and then answered.
class Screenshots : public Automation, public platform::IMessageBoxes {
 public:
  Screenshots(QString dir, QString prefix, QString suffix)
      : dir_(std::move(dir)), prefix_(std::move(prefix)), suffix_(std::move(suffix)) {}

  DialogLayer Dialogs() override { return {this, &answers_, &answers_, nullptr}; }

  int ExecNamespaceDialog(NamespaceDialog& dialog) override {
    dialog.show();
    Wait(400);
    Save(Framed(dialog.grab()), QStringLiteral("installation-type"));
    dialog.hide();
    return QDialog::Accepted;
  }

  void Drive(MainWindow& window) override {
    window_ = &window;
    QObject::connect(&window, &MainWindow::RunFinished, &window, [] { QTimer::singleShot(200, qApp, &QApplication::quit); });
    window.SetLinePause(20, [this] {
      Wait(300);
      Save(Framed(window_->grab()), QStringLiteral("log-midrun"));
    });
    QTimer::singleShot(500, &window, [this, &window] {
      Save(Framed(window.grab()), QStringLiteral("start"));
      window.btnSummaryClick();
      Wait(300);
      Save(Framed(window.grab()), QStringLiteral("summary"));
      window.btnSummaryClick();
      Wait(100);
      started_ = true;
      window.btnContinueClick();
    });
  }

  void ShowWarning(std::string_view text) override { Box(QMessageBox::Warning, text, QMessageBox::Ok); }
  void ShowInfo(std::string_view text) override { Box(QMessageBox::Information, text, QMessageBox::Ok); }
  bool AskYesNo(std::string_view text) override {
    Box(QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No);
    return true;
  }

 private:
  void Box(QMessageBox::Icon icon, std::string_view text, QMessageBox::StandardButtons buttons) {
    QMessageBox box(icon, QApplication::applicationName(), FromWin1252(text), buttons, window_);
    box.show();
    Wait(400);
    if (started_ && icon != QMessageBox::Question) {
      // The finished window with its outcome box over it.
      QPixmap shot = window_->grab();
      QPainter p(&shot);
      const QPoint at = box.geometry().topLeft() - window_->geometry().topLeft();
      const QPixmap boxShot = Framed(box.grab());
      const QRect boxRect(at, boxShot.deviceIndependentSize().toSize());
      // A soft shadow sets the box apart from the log behind it.
      for (int i = 1; i <= 6; ++i)
        p.fillRect(boxRect.translated(i, i), QColor(0, 0, 0, 14));
      p.drawPixmap(boxRect, boxShot);
      p.end();
      Save(Framed(shot), QStringLiteral("finished"));
    } else if (icon == QMessageBox::Question) {
      Save(Framed(box.grab()), QStringLiteral("confirm"));
    }
    box.close();
  }

  // Without a window manager there is no frame; a thin border stands in.
  static QPixmap Framed(const QPixmap& inner) {
    QPixmap out = inner;
    QPainter p(&out);
    p.setPen(QPen(QColor(0x70, 0x70, 0x70), 0));
    const QSizeF size = inner.deviceIndependentSize();
    p.drawRect(QRectF(0, 0, size.width() - 1, size.height() - 1));
    return out;
  }

  void Save(const QPixmap& pixmap, const QString& name) {
    QDir().mkpath(dir_);
    const QString path = QDir(dir_).filePath(prefix_ + name + suffix_ + QStringLiteral(".png"));
    if (!pixmap.save(path)) std::fprintf(stderr, "cannot save %s\n", qPrintable(path));
  }

  QString dir_, prefix_, suffix_;
  MainWindow* window_ = nullptr;
  bool started_ = false;
  Answering answers_;
};

}  // namespace

std::unique_ptr<Automation> Automation::FromEnvironment() {
  const QString shots = qEnvironmentVariable("VEY_SCREENSHOT_DIR");
  if (!shots.isEmpty())
    return std::make_unique<Screenshots>(shots, qEnvironmentVariable("VEY_SCREENSHOT_PREFIX"),
                                         qEnvironmentVariable("VEY_SCREENSHOT_SUFFIX"));
  if (qEnvironmentVariable("VEY_APP_BENCH") == QLatin1String("1")) return std::make_unique<Bench>();
  return nullptr;
}

}  // namespace vey::app
