#include "platform/qt/simulator_qt.h"

#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <algorithm>
#include <vector>

namespace {

constexpr int kRefreshMs = 250;
constexpr int kFirstBytesShown = 8;

QString TypeLabel(int type) {
  const sim::EpromType* info = sim::TypeInfo(type);
  return info ? QStringLiteral("%1 (%2K)").arg(QString::fromLatin1(info->name)).arg(info->sizeK) : QStringLiteral("?");
}

QString LcdLine(const std::string& text) {
  QString line = QString::fromLatin1(text.data(), static_cast<qsizetype>(std::min(text.size(), sim::kDisplayWidth)));
  return line.leftJustified(static_cast<qsizetype>(sim::kDisplayWidth), QLatin1Char(' '));
}

class SimulatorWindow : public QWidget {
 public:
  SimulatorWindow(std::shared_ptr<simport::KilnboxLink> link, QWidget* parent)
      : QWidget(parent, Qt::Tool), link_(std::move(link)) {
    setObjectName(QStringLiteral("kilnboxSimulator"));
    setWindowTitle(QStringLiteral("Kilnbox Simulator"));
    BuildDisplay();
    BuildSocketControls();
    auto* column = new QVBoxLayout(this);
    column->addWidget(display_);
    column->addWidget(socket_);
    column->addLayout(actions_);
    Refresh();
    auto* timer = new QTimer(this);
    connect(timer, &QTimer::timeout, this, [this] { Refresh(); });
    timer->start(kRefreshMs);
  }

 private:
  void BuildDisplay() {
    display_ = new QLabel(this);
    display_->setObjectName(QStringLiteral("display"));
    QFont lcd = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    lcd.setPointSize(lcd.pointSize() + 4);
    lcd.setBold(true);
    display_->setFont(lcd);
    display_->setTextFormat(Qt::PlainText);
    display_->setStyleSheet(QStringLiteral(
        "QLabel { background: #9bbc5a; color: #1d2b0c; border: 3px solid #3a4a22; border-radius: 4px; padding: 6px; }"));
    display_->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);

    socket_ = new QLabel(this);
    socket_->setObjectName(QStringLiteral("socket"));
    socket_->setTextFormat(Qt::PlainText);
    socket_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  }

  void BuildSocketControls() {
    types_ = new QComboBox(this);
    types_->setObjectName(QStringLiteral("type"));
    for (int type = 0; sim::TypeInfo(type) != nullptr; ++type) types_->addItem(TypeLabel(type));
    types_->setCurrentIndex(sim::kDefaultType);

    auto* insertFile = AddButton(QStringLiteral("insertFile"), QStringLiteral("Insert from File..."));
    auto* insertBlank = AddButton(QStringLiteral("insertBlank"), QStringLiteral("Insert Blank"));
    erase_ = AddButton(QStringLiteral("erase"), QStringLiteral("Erase"));
    remove_ = AddButton(QStringLiteral("remove"), QStringLiteral("Remove"));
    connect(insertFile, &QPushButton::clicked, this, [this] { InsertFromFile(); });
    connect(insertBlank, &QPushButton::clicked, this, [this] {
      const int type = types_->currentIndex();
      link_->WithModel([type](sim::Kilnbox& k) { k.InsertBlankEprom(type); });
      Refresh();
    });
    connect(erase_, &QPushButton::clicked, this, [this] {
      link_->WithModel([](sim::Kilnbox& k) {
        if (k.GetSocket().present) k.InsertBlankEprom(k.GetSocket().type);
      });
      Refresh();
    });
    connect(remove_, &QPushButton::clicked, this, [this] {
      link_->WithModel([](sim::Kilnbox& k) { k.RemoveEprom(); });
      Refresh();
    });

    actions_ = new QGridLayout;
    actions_->addWidget(new QLabel(QStringLiteral("EPROM type:"), this), 0, 0);
    actions_->addWidget(types_, 0, 1);
    actions_->addWidget(insertFile, 0, 2);
    actions_->addWidget(insertBlank, 0, 3);
    actions_->addWidget(erase_, 1, 2);
    actions_->addWidget(remove_, 1, 3);
  }

  QPushButton* AddButton(const QString& name, const QString& text) {
    auto* button = new QPushButton(text, this);
    button->setObjectName(name);
    button->setAutoDefault(false);
    return button;
  }

  void InsertFromFile() {
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Insert EPROM from Image File"), QString(),
                                                      QStringLiteral("EPROM images (*.bin *.BIN *.rom *.ROM);;All files (*)"));
    if (path.isEmpty()) return;
    QString error;
    if (!InsertEpromFromFile(*link_, path, types_->currentIndex(), &error))
      QMessageBox::warning(this, windowTitle(), error);
    Refresh();
  }

  void Refresh() {
    QString text;
    sim::Socket socket;
    link_->WithModel([&](sim::Kilnbox& k) {
      text = LcdLine(k.DisplayLine(0)) + QLatin1Char('\n') + LcdLine(k.DisplayLine(1));
      socket = k.GetSocket();
    });
    if (display_->text() != text) display_->setText(text);
    const QString described = DescribeSocket(socket);
    if (socket_->text() != described) socket_->setText(described);
    erase_->setEnabled(socket.present);
    remove_->setEnabled(socket.present);
  }

  std::shared_ptr<simport::KilnboxLink> link_;
  QLabel* display_ = nullptr;
  QLabel* socket_ = nullptr;
  QComboBox* types_ = nullptr;
  QPushButton* erase_ = nullptr;
  QPushButton* remove_ = nullptr;
  QGridLayout* actions_ = nullptr;
};

}  // namespace

QString DescribeSocket(const sim::Socket& socket) {
  if (!socket.present) return QStringLiteral("Socket: empty\n");
  const bool blank = std::all_of(socket.contents.begin(), socket.contents.end(), [](uint8_t b) { return b == 0xFF; });
  unsigned sum = 0;
  for (uint8_t b : socket.contents) sum += b;
  QString first;
  const size_t shown = std::min<size_t>(socket.contents.size(), kFirstBytesShown);
  for (size_t i = 0; i < shown; ++i) first += QStringLiteral("%1 ").arg(socket.contents[i], 2, 16, QLatin1Char('0'));
  const QString checksum = QStringLiteral("%1").arg(sum & 0xFFFF, 4, 16, QLatin1Char('0'));
  return QStringLiteral("Socket: %1, %2\nFirst bytes: %3 Checksum: %4")
      .arg(TypeLabel(socket.type), blank ? QStringLiteral("blank") : QStringLiteral("programmed"), first.toUpper(),
           checksum.toUpper());
}

bool InsertEpromFromFile(simport::KilnboxLink& link, const QString& path, int type, QString* error) {
  const sim::EpromType* info = sim::TypeInfo(type);
  if (info == nullptr) {
    if (error) *error = QStringLiteral("No such EPROM type.");
    return false;
  }
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) {
    if (error) *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
    return false;
  }
  // Only what fits the EPROM is read; a larger file is cut.
  const qint64 size = static_cast<qint64>(info->sizeK) * 1024;
  const QByteArray data = file.read(size);
  if (file.error() != QFileDevice::NoError) {
    if (error) *error = QStringLiteral("Cannot read %1: %2").arg(path, file.errorString());
    return false;
  }
  std::vector<uint8_t> contents(data.begin(), data.end());
  link.WithModel([&](sim::Kilnbox& k) { k.InsertEprom(type, std::move(contents)); });
  return true;
}

QWidget* CreateSimulatorWindow(std::shared_ptr<simport::KilnboxLink> link, QWidget* parent) {
  return new SimulatorWindow(std::move(link), parent);
}
