#include "platform/qt/dialogs_qt.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPointer>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <functional>
#include <utility>
#include <vector>

#include "resources/dialog_templates.h"

namespace {

// What a user can see of a dropped list at once; the template's list height
// is the list's room in the desktop API, not a limit worth keeping here.
constexpr int kVisibleListEntries = 16;

QString FromCore(const char* text) { return QString::fromUtf8(text ? text : ""); }

// A radio button that leaves its check to the program. Like the desktop
// API's buttons it reacts to a click anywhere in its rectangle, not only on
// the circle and the text, and the arrow keys click the next or previous
// button of its group (through `moveInGroup`).
class DlgRadioButton : public QRadioButton {
 public:
  DlgRadioButton(const QString& text, QWidget* parent, std::function<void(int)> moveInGroup)
      : QRadioButton(text, parent), moveInGroup_(std::move(moveInGroup)) {
    setAutoExclusive(false);
  }

 protected:
  void nextCheckState() override {}
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
  void keyPressEvent(QKeyEvent* event) override {
    switch (event->key()) {
      case Qt::Key_Up:
      case Qt::Key_Left: moveInGroup_(-1); break;
      case Qt::Key_Down:
      case Qt::Key_Right: moveInGroup_(1); break;
      default: QRadioButton::keyPressEvent(event);
    }
  }

 private:
  std::function<void(int)> moveInGroup_;
};

class DlgCheckBox : public QCheckBox {
 public:
  DlgCheckBox(const QString& text, QWidget* parent) : QCheckBox(text, parent) {}

 protected:
  void nextCheckState() override {}
  bool hitButton(const QPoint& pos) const override { return rect().contains(pos); }
};

// A group box as the desktop API draws it: the title sits on the frame's
// top line, so the frame starts half a line below the control's top and
// the controls placed inside keep clear of it.
class DlgGroupBox : public QGroupBox {
 public:
  DlgGroupBox(const QString& title, QWidget* parent) : QGroupBox(title, parent) {}

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    const QFontMetrics metrics(font());
    // An etched frame: a shadow line and a light line beside it.
    const QRect frame = rect().adjusted(0, metrics.height() / 2, -2, -2);
    painter.setPen(palette().color(QPalette::Mid));
    painter.drawRect(frame);
    painter.setPen(palette().color(QPalette::Light));
    painter.drawRect(frame.translated(1, 1));
    if (title().isEmpty()) return;
    const int indent = metrics.averageCharWidth();
    const QRect text(indent, 0, metrics.horizontalAdvance(title()) + indent, metrics.height());
    painter.fillRect(text, palette().window());
    style()->drawItemText(&painter, text, Qt::AlignCenter | Qt::TextHideMnemonic, palette(), isEnabled(), title(),
                          QPalette::WindowText);
  }
};

QFont TemplateFont(const DialogTemplate& tpl) {
  QFont font(FromCore(tpl.fontFace));
  font.setPointSize(tpl.fontPoints > 0 ? tpl.fontPoints : 8);
  font.setStyleHint(QFont::SansSerif);
  return font;
}

}  // namespace

int DialogUnits::ToPixelsX(int units) const { return (units * baseX + 2) / 4; }
int DialogUnits::ToPixelsY(int units) const { return (units * baseY + 4) / 8; }

DialogUnits MeasureDialogUnits(const QFont& font) {
  const QFontMetrics metrics(font);
  const int letters = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  DialogUnits units;
  units.baseX = (letters / 26 + 1) / 2;
  units.baseY = metrics.height();
  return units;
}

namespace qtdlg {

// One open dialog: its controls built from the template, showing a state
// and reporting what the user does to it.
class TemplateDialog : public QDialog {
 public:
  TemplateDialog(const DialogTemplate& tpl, DialogState& state, const DialogEventHandler& onEvent, QWidget* parent)
      : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                            Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
        tpl_(tpl), state_(state), onEvent_(onEvent) {
    setObjectName(QStringLiteral("dialog%1").arg(tpl.id));
    setWindowTitle(FromCore(tpl.caption));
    setFont(TemplateFont(tpl));
    units_ = MeasureDialogUnits(font());
    setFixedSize(units_.ToPixelsX(tpl.w), units_.ToPixelsY(tpl.h));
    BuildControls();
  }

  HWND Handle() { return reinterpret_cast<HWND>(this); }

  QWidget* Control(int id) const {
    for (const Built& c : controls_)
      if (c.def->id == id) return c.widget;
    return nullptr;
  }

  void ShowState() {
    for (const Built& c : controls_) {
      const auto item = state_.items.find(c.def->id);
      if (c.def->id != IDC_STATIC && item != state_.items.end()) Show(c.widget, item->second);
    }
  }

 protected:
  // The first control that takes the keyboard gets it as if tabbed to, so
  // that an edit box starts with its text selected for typing over.
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    for (const Built& c : controls_) {
      if (c.widget->isEnabled() && (c.widget->focusPolicy() & Qt::TabFocus)) {
        c.widget->setFocus(Qt::TabFocusReason);
        break;
      }
    }
  }

  // Esc: the program decides, as with Cancel.
  void reject() override { Report(IDCANCEL, DialogEvent::Click); }

  // The close box (and the window manager's close): the same, and the
  // window stays unless the program ended the dialog.
  void closeEvent(QCloseEvent* event) override {
    if (!state_.ended) Report(IDCANCEL, DialogEvent::Click);
    if (state_.ended)
      event->accept();
    else
      event->ignore();
  }

 private:
  struct Built {
    const DialogControl* def;
    QWidget* widget;
  };

  // Hands the user's action to the program, then shows what it made of it.
  void Report(int id, DialogEvent event) {
    if (state_.ended) return;  // what arrives after the end goes nowhere
    onEvent_(id, event);
    if (!state_.ended)
      ShowState();
    else if (isVisible())
      done(0);
  }

  static void Show(QWidget* widget, const DialogItem& item) {
    const QString text = FromCore(item.text.c_str());
    if (auto* edit = qobject_cast<QLineEdit*>(widget)) {
      if (edit->text() != text) {
        edit->setText(text);
        edit->setCursorPosition(0);  // a long file name shows its start
      }
    } else if (auto* label = qobject_cast<QLabel*>(widget)) {
      label->setText(text);
    } else if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      button->setText(text);
      if (button->isCheckable()) button->setChecked(item.checked);
    } else if (auto* box = qobject_cast<QGroupBox*>(widget)) {
      box->setTitle(text);
    } else if (auto* list = qobject_cast<QComboBox*>(widget)) {
      ShowList(*list, item);
    }
    widget->setEnabled(item.enabled);
  }

  static void ShowList(QComboBox& list, const DialogItem& item) {
    QStringList entries;
    for (const std::string& e : item.entries) entries << FromCore(e.c_str());
    bool same = list.count() == entries.size();
    for (int i = 0; same && i < list.count(); ++i) same = list.itemText(i) == entries[i];
    if (!same) {
      list.clear();
      list.addItems(entries);
    }
    list.setCurrentIndex(item.selection >= 0 && item.selection < list.count() ? item.selection : -1);
  }

  void BuildControls() {
    std::vector<QWidget*> groupBoxes;
    for (const DialogControl& def : tpl_.controls) {
      QWidget* widget = CreateControl(def);
      const int height = def.kind == ControlKind::DropDownList
                             ? std::min(widget->sizeHint().height(), units_.ToPixelsY(def.h))
                             : units_.ToPixelsY(def.h);
      widget->setGeometry(units_.ToPixelsX(def.x), units_.ToPixelsY(def.y), units_.ToPixelsX(def.w), height);
      if (def.kind == ControlKind::GroupBox) groupBoxes.push_back(widget);
      controls_.push_back({&def, widget});
    }
    // A group box is a frame drawn behind the controls it surrounds.
    for (QWidget* box : groupBoxes) box->lower();
  }

  QWidget* CreateControl(const DialogControl& def) {
    const QString text = FromCore(def.text);
    const int id = def.id;
    switch (def.kind) {
      case ControlKind::Static: {
        auto* label = new QLabel(text, this);
        label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        label->setWordWrap(true);
        label->setTextFormat(Qt::PlainText);
        return label;
      }
      case ControlKind::GroupBox:
        return new DlgGroupBox(text, this);
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, this);
        button->setDefault(def.kind == ControlKind::DefaultPushButton);
        connect(button, &QPushButton::clicked, this, [this, id] { Report(id, DialogEvent::Click); });
        return button;
      }
      case ControlKind::RadioButton:
      case ControlKind::AutoRadioButton: {
        const size_t index = static_cast<size_t>(&def - tpl_.controls.data());
        auto* radio = new DlgRadioButton(text, this, [this, index](int step) { MoveInGroup(index, step); });
        connect(radio, &QRadioButton::clicked, this, [this, id] { Report(id, DialogEvent::Click); });
        return radio;
      }
      case ControlKind::AutoCheckBox: {
        auto* box = new DlgCheckBox(text, this);
        connect(box, &QCheckBox::clicked, this, [this, id] { Report(id, DialogEvent::Click); });
        return box;
      }
      case ControlKind::Edit: {
        auto* edit = new QLineEdit(text, this);
        if (def.style & CS_ALIGN_RIGHT) edit->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        connect(edit, &QLineEdit::textEdited, this, [this, id](const QString& typed) {
          state_.items[id].text = typed.toStdString();
          Report(id, DialogEvent::Edit);
        });
        return edit;
      }
      case ControlKind::DropDownList: {
        auto* list = new QComboBox(this);
        list->setMaxVisibleItems(kVisibleListEntries);
        connect(list, &QComboBox::activated, this, [this, id](int index) {
          state_.items[id].selection = index;
          Report(id, DialogEvent::Select);
        });
        return list;
      }
    }
    return new QWidget(this);
  }

  // Arrow keys: the next enabled button of the group, round its ends, takes
  // the focus and is clicked, as the desktop API's dialogs do.
  void MoveInGroup(size_t index, int step) {
    const auto [first, last] = RadioGroup(tpl_, index);
    const int count = static_cast<int>(last - first);
    const int position = static_cast<int>(index - first);
    for (int n = 1; n < count; ++n) {
      const size_t i = first + static_cast<size_t>(((position + step * n) % count + count) % count);
      QWidget* next = controls_[i].widget;
      if (!next->isEnabled()) continue;
      next->setFocus(Qt::TabFocusReason);
      static_cast<QRadioButton*>(next)->click();
      return;
    }
  }

  const DialogTemplate& tpl_;
  DialogState& state_;
  const DialogEventHandler& onEvent_;
  DialogUnits units_;
  std::vector<Built> controls_;  // in template order
};

}  // namespace qtdlg

using qtdlg::TemplateDialog;

QtDialogHost::QtDialogHost(QWidget* mainWindow) : mainWindow_(mainWindow) {}

QtDialogHost::~QtDialogHost() = default;

INT_PTR QtDialogHost::ShowDialog(HWND owner, int templateId, DialogState& state, const DialogEventHandler& onEvent) {
  const DialogTemplate* tpl = FindDialogTemplate(templateId);
  if (tpl == nullptr) return -1;
  if (state.ended) return state.result;
  QWidget* parent = DialogWidget(owner);
  TemplateDialog* shown = new TemplateDialog(*tpl, state, onEvent, parent ? parent : mainWindow_);
  QPointer<TemplateDialog> dialog = shown;
  open_.push_back(shown);
  state.window = dialog->Handle();
  dialog->ShowState();
  dialog->exec();
  state.window = nullptr;
  // A dialog whose window went without being ended (its owner destroyed)
  // counts as cancelled.
  const INT_PTR result = dialog && state.ended ? state.result : -1;
  std::erase(open_, shown);  // compared, never dereferenced: it may be gone
  delete dialog.data();
  return result;
}

TemplateDialog* QtDialogHost::Find(HWND hDlg) const {
  for (TemplateDialog* d : open_)
    if (reinterpret_cast<HWND>(d) == hDlg) return d;
  return nullptr;
}

QWidget* QtDialogHost::DialogWidget(HWND hDlg) const { return Find(hDlg); }

QWidget* QtDialogHost::ControlWidget(HWND hDlg, int id) const {
  TemplateDialog* d = Find(hDlg);
  return d ? d->Control(id) : nullptr;
}

HWND QtDialogHost::ActiveDialog() const { return open_.empty() ? nullptr : open_.back()->Handle(); }
