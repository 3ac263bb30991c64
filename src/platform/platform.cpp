#include "platform/platform.h"

#include <QApplication>
#include <QBuffer>
#include <QCloseEvent>
#include <QEventLoop>
#include <QKeyEvent>
#include <QFileDialog>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QPainter>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QSaveFile>
#include <QThread>
#include <chrono>
#include <condition_variable>
#include <memory>

namespace lozengia {

namespace {
constexpr int kPicturePixels = 600;
// Keys beyond this many, unread, are dropped: nobody types that far ahead.
constexpr std::size_t kMaxKeptKeys = 4096;
// Wakes the GUI thread to run the calls other threads queued for it.
const QEvent::Type kRunTasksEvent = static_cast<QEvent::Type>(QEvent::User + 27);
// Exit codes of the nested loop of a read on the GUI thread.
constexpr int kLoopWoken = 1;
}

// The picture window's client: shows the last picture pasted into it at
// pixel (0, 0), on white.
class PictureView : public QWidget {
 public:
  explicit PictureView(QWidget* parent = nullptr) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
  }
  QSize sizeHint() const override { return {kPicturePixels, kPicturePixels}; }
  void set_image(const QImage& image) {
    image_ = image;
    update();
  }
  const QImage& image() const { return image_; }
  std::function<void(char)> on_key;

 protected:
  void keyPressEvent(QKeyEvent* e) override {
    // A key is its first character; a key that types nothing (an arrow, a
    // function key) still counts as a key, as 0. Modifiers alone do not.
    const QString text = e->text();
    char c = 0;
    if (!text.isEmpty()) {
      const char16_t u = text.at(0).unicode();
      c = u < 128 ? static_cast<char>(u) : '?';
    } else {
      switch (e->key()) {
        case Qt::Key_Shift: case Qt::Key_Control: case Qt::Key_Alt: case Qt::Key_Meta:
        case Qt::Key_AltGr: case Qt::Key_CapsLock: case Qt::Key_NumLock: case Qt::Key_unknown:
          QWidget::keyPressEvent(e);
          return;
        default: break;
      }
    }
    if (on_key) on_key(c);
    e->accept();
  }
  void paintEvent(QPaintEvent*) override {
    QPainter p(this);
    p.fillRect(rect(), Qt::white);
    p.drawImage(0, 0, image_);
  }

 private:
  QImage image_;
};

void Frame::closeEvent(QCloseEvent* e) {
  // The program thread is stopped and joined before the frame goes away.
  if (on_close) on_close();
  QMainWindow::closeEvent(e);
}

Platform::Platform() {
  frame_ = new Frame;
  frame_->setAttribute(Qt::WA_DeleteOnClose, false);
  frame_->setWindowTitle("Lozengia");
  mdi_ = new QMdiArea(frame_);
  mdi_->setBackground(QColor(0xA0, 0xA0, 0xA0));
  frame_->setCentralWidget(mdi_);
  frame_->resize(1240, 760);
}

Platform::~Platform() {
  shutdown();
  delete frame_;
}

void Platform::show_frame() { frame_->show(); }

void Platform::shutdown() {
  shutting_down_.store(true);
  {
    // Taken so that a reader between its check and its wait cannot miss this.
    std::lock_guard<std::mutex> lock(key_mutex_);
  }
  key_cv_.notify_all();
  emit keyWake();
}

bool Platform::on_gui(const std::function<void()>& fn) {
  if (QThread::currentThread() == thread()) {
    fn();
    return true;
  }
  if (shutting_down_) return false;
  struct Call {
    std::mutex m;
    std::condition_variable cv;
    enum { kQueued, kRunning, kDone, kAbandoned } state = kQueued;
  };
  auto call = std::make_shared<Call>();
  // `fn` is used only while the caller waits below, so it is not copied.
  enqueue([call, &fn] {
    {
      std::lock_guard<std::mutex> lock(call->m);
      if (call->state == Call::kAbandoned) return;  // the caller has left
      call->state = Call::kRunning;
    }
    fn();
    {
      std::lock_guard<std::mutex> lock(call->m);
      call->state = Call::kDone;
    }
    call->cv.notify_all();
  });
  std::unique_lock<std::mutex> lock(call->m);
  while (call->state != Call::kDone) {
    if (shutting_down_ && call->state == Call::kQueued) {
      call->state = Call::kAbandoned;
      return false;
    }
    // Woken by completion; the timeout only serves to notice a shutdown.
    call->cv.wait_for(lock, std::chrono::milliseconds(20));
  }
  return true;
}

void Platform::post(std::function<void()> fn) {
  if (QThread::currentThread() == thread()) {
    fn();
    return;
  }
  enqueue(std::move(fn));
}

void Platform::enqueue(std::function<void()> fn) {
  bool wake;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    // One wake-up per batch: the GUI thread takes the whole queue at once.
    wake = tasks_.empty();
    tasks_.push_back(std::move(fn));
  }
  if (wake) QCoreApplication::postEvent(this, new QEvent(kRunTasksEvent));
}

void Platform::customEvent(QEvent*) {
  // The wake-up is the only event of a user type this object receives. The
  // event itself is not read: it was made on another thread and handed over
  // by Qt, out of sight of ThreadSanitizer; the tasks come under our mutex.
  std::deque<std::function<void()>> batch;
  {
    std::lock_guard<std::mutex> lock(tasks_mutex_);
    batch.swap(tasks_);
  }
  // In the order they were sent.
  for (auto& fn : batch) fn();
}

void Platform::open_text_window(const std::string& title) {
  on_gui([this, title] {
    if (text_sub_) return;
    text_ = new QPlainTextEdit;
    text_->setReadOnly(true);
    // No text cursor: the window is for reading only.
    text_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text_->setCursorWidth(0);
    text_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    QPalette pal = text_->palette();
    pal.setColor(QPalette::Base, Qt::white);
    pal.setColor(QPalette::Text, Qt::black);
    text_->setPalette(pal);
    QFont mono("Monospace");
    mono.setStyleHint(QFont::TypeWriter);
    text_->setFont(mono);
    text_sub_ = mdi_->addSubWindow(text_);
    text_sub_->setWindowTitle(QString::fromStdString(title));
    text_sub_->setGeometry(0, 0, 580, 660);
    // Closing the text window would lose the messages; it is only minimised.
    text_sub_->setAttribute(Qt::WA_DeleteOnClose, false);
    text_sub_->show();
  });
}

void Platform::write_line(int unit, const std::string& text) {
  if (unit != kTextUnit) return;
  post([this, line = QString::fromStdString(text)] {
    if (text_) text_->appendPlainText(line);
  });
}

void Platform::clear_window(int unit) {
  on_gui([this, unit] {
    if (unit == kTextUnit && text_) text_->clear();
    if (unit == kPictureUnit && picture_) picture_->set_image(QImage());
  });
}

void Platform::open_picture_window(const std::string& title) {
  on_gui([this, title] {
    auto* view = new PictureView;
    auto* sub = mdi_->addSubWindow(view);
    sub->setWindowTitle(QString::fromStdString(title));
    sub->setAttribute(Qt::WA_DeleteOnClose, true);
    const int offset = static_cast<int>(pictures_.size()) * 24;
    sub->move(590 + offset, offset);
    sub->show();
    // Make the client area the picture size, whatever the frame decorations.
    const QSize extra = sub->size() - view->size();
    sub->resize(QSize(kPicturePixels, kPicturePixels) + extra);
    pictures_.append(sub);
    view->on_key = [this, view](char c) { key_typed(view, c); };
    QObject::connect(sub, &QObject::destroyed, this, [this, sub, view] {
      pictures_.removeAll(sub);
      if (picture_ == view) {
        picture_ = nullptr;
        // Closing the picture window while keys are awaited leaves the mode
        // (as "q" does): no key could be typed there any more, and the menu
        // would stay greyed for good.
        bool waiting;
        {
          std::lock_guard<std::mutex> lock(key_mutex_);
          waiting = capturing_;
        }
        if (waiting) key_typed(nullptr, 'q');
      }
    });
    picture_sub_ = sub;
    picture_ = view;
  });
}

void Platform::open_scratch_window(const std::string& title, int size_state) {
  // The scratch window is the off-screen image pictures are drawn into; the
  // size state (1) asks for it to stay out of the user's way.
  (void)size_state;
  on_gui([this, title] { scratch_title_ = QString::fromStdString(title); });
}

void Platform::focus(int unit) {
  post([this, unit] {
    QMdiSubWindow* sub = nullptr;
    if (unit == kTextUnit) sub = text_sub_;
    if (unit == kPictureUnit) sub = picture_sub_;
    if (!sub) return;
    if (sub->isMinimized()) sub->showNormal();
    mdi_->setActiveSubWindow(sub);
    sub->raise();
  });
}

// ------------------------------------------------------------------- keys

void Platform::key_typed(const PictureView* view, char c) {
  {
    std::lock_guard<std::mutex> lock(key_mutex_);
    if (!capturing_ || view != picture_) return;
    if (keys_.size() >= kMaxKeptKeys) return;
    keys_.push_back(c);
  }
  key_cv_.notify_all();
  emit keyWake();
}

void Platform::set_key_capture(int unit, bool on) {
  if (unit != kPictureUnit) return;
  std::lock_guard<std::mutex> lock(key_mutex_);
  capturing_ = on;
  keys_.clear();
}

std::optional<char> Platform::read_key(int unit) {
  if (unit != kPictureUnit) return std::nullopt;
  if (QThread::currentThread() == thread()) {
    for (;;) {
      QEventLoop loop;
      // Connected before the checks: a wake-up sent from another thread after
      // them is queued for this loop and not lost.
      QObject::connect(this, &Platform::keyWake, &loop, [&loop] { loop.exit(kLoopWoken); });
      {
        std::lock_guard<std::mutex> lock(key_mutex_);
        if (shutting_down_) return std::nullopt;
        if (!keys_.empty()) {
          const char c = keys_.front();
          keys_.pop_front();
          return c;
        }
      }
      // Paints, resizes, the menu and the frame's close box all go on here.
      // Any other way out (the application quitting) means no key will come.
      if (loop.exec() != kLoopWoken) return std::nullopt;
    }
  }
  std::unique_lock<std::mutex> lock(key_mutex_);
  key_cv_.wait(lock, [this] { return shutting_down_.load() || !keys_.empty(); });
  if (shutting_down_) return std::nullopt;
  const char c = keys_.front();
  keys_.pop_front();
  return c;
}

void Platform::post_key(int unit, char c) {
  if (unit != kPictureUnit) return;
  post([this, c] {
    if (picture_) {
      const QString text(QChar::fromLatin1(c));
      QKeyEvent press(QEvent::KeyPress, text.isEmpty() ? 0 : QChar(c).toUpper().unicode(),
                      Qt::NoModifier, text);
      QCoreApplication::sendEvent(picture_, &press);
    } else {
      key_typed(nullptr, c);
    }
  });
}

void Platform::beep() {
  beeps_.fetch_add(1);
  post([] { QApplication::beep(); });
}

QSize Platform::picture_size(int unit) {
  QSize size(kPicturePixels, kPicturePixels);
  on_gui([&] {
    if (unit == kPictureUnit && picture_ && picture_->width() > 1 && picture_->height() > 1)
      size = picture_->size();
  });
  return size;
}

void Platform::draw_in_scratch(QSize size, const std::function<void(QPainter&, QSize)>& draw) {
  std::lock_guard<std::mutex> lock(scratch_mutex_);
  if (scratch_.size() != size) scratch_ = QImage(size, QImage::Format_RGB32);
  scratch_.fill(Qt::white);
  QPainter painter(&scratch_);
  draw(painter, size);
}

void Platform::copy_scratch_to(int unit) {
  QImage copy;
  {
    std::lock_guard<std::mutex> lock(scratch_mutex_);
    copy = scratch_.copy();
  }
  on_gui([this, unit, &copy] {
    if (unit != kPictureUnit) return;
    if (!picture_) open_picture_window("Lozengia");  // the user closed it
    picture_->set_image(copy);
    if (picture_sub_) {
      if (picture_sub_->isMinimized()) picture_sub_->showNormal();
      mdi_->setActiveSubWindow(picture_sub_);
      picture_sub_->raise();
    }
  });
}

void Platform::build_menus(const std::vector<MenuEntry>& commands,
                           const std::vector<MenuEntry>& help) {
  on_gui([&] {
    QMenuBar* bar = frame_->menuBar();
    bar->clear();
    commands_menu_ = bar->addMenu("Commands");
    for (const MenuEntry& e : commands) {
      QAction* a = commands_menu_->addAction(QString::fromStdString(e.label));
      auto cb = e.callback;
      QObject::connect(a, &QAction::triggered, this, [this, a, cb] {
        // A disabled entry never runs, however it was triggered.
        if (a->isEnabled() && commands_menu_->menuAction()->isEnabled() && cb) cb();
      });
    }
    image_menu_ = bar->addMenu("Image");
    QObject::connect(image_menu_->addAction("Print image"), &QAction::triggered, this,
                     [this] { print_picture_dialog(); });
    QObject::connect(image_menu_->addAction("Save image as.."), &QAction::triggered, this,
                     [this] { save_picture_dialog(); });
    QMenu* window = bar->addMenu("Window");
    QObject::connect(window->addAction("Cascade"), &QAction::triggered, mdi_,
                     &QMdiArea::cascadeSubWindows);
    QObject::connect(window->addAction("Tile"), &QAction::triggered, mdi_,
                     &QMdiArea::tileSubWindows);
    help_menu_ = bar->addMenu("Help");
    for (const MenuEntry& e : help) {
      QAction* a = help_menu_->addAction(QString::fromStdString(e.label));
      auto cb = e.callback;
      QObject::connect(a, &QAction::triggered, this, [cb] {
        if (cb) cb();
      });
    }
  });
}

void Platform::set_commands_enabled(bool on) {
  on_gui([this, on] {
    if (!commands_menu_) return;
    commands_menu_->menuAction()->setEnabled(on);
    for (QAction* a : commands_menu_->actions()) a->setEnabled(on);
    emit commandsEnabledChanged(on);
  });
}

bool Platform::commands_enabled() const {
  return commands_menu_ && commands_menu_->menuAction()->isEnabled();
}

void Platform::message_box(const std::string& text, const std::string& caption) {
  QMessageBox box(QMessageBox::NoIcon, QString::fromStdString(caption),
                  QString::fromStdString(text), QMessageBox::Ok, frame_);
  box.exec();
}

std::optional<std::string> Platform::ask_save_file_name() {
  if (save_name_source_) return save_name_source_();
  QFileDialog dlg(frame_);
  dlg.setAcceptMode(QFileDialog::AcceptSave);
  dlg.setFileMode(QFileDialog::AnyFile);
  dlg.setNameFilter("All files (*)");
  dlg.setOption(QFileDialog::DontConfirmOverwrite, false);
  if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty()) return std::nullopt;
  return dlg.selectedFiles().first().toStdString();
}

void Platform::set_save_file_name_source(std::function<std::optional<std::string>()> source) {
  save_name_source_ = std::move(source);
}

PictureView* Platform::current_picture() const {
  // The picture the user is looking at: the active picture window, else the
  // one that receives new pictures.
  if (QMdiSubWindow* active = mdi_->activeSubWindow())
    if (auto* v = dynamic_cast<PictureView*>(active->widget())) return v;
  return picture_;
}

bool Platform::save_picture(const QString& path) const {
  const PictureView* view = current_picture();
  if (!view || view->image().isNull()) return false;
  const char* format = path.endsWith(".png", Qt::CaseInsensitive) ? "PNG" : "BMP";
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  if (!view->image().save(&buffer, format)) return false;
  QSaveFile file(path);
  if (!file.open(QIODevice::WriteOnly)) return false;
  if (file.write(bytes) != bytes.size()) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool Platform::print_picture(QPrinter& printer) const {
  const PictureView* view = current_picture();
  if (!view || view->image().isNull()) return false;
  QPainter p;
  if (!p.begin(&printer)) return false;
  const QRect page = p.viewport();
  QSize size = view->image().size();
  size.scale(page.size(), Qt::KeepAspectRatio);
  p.setViewport(page.x(), page.y(), size.width(), size.height());
  p.setWindow(view->image().rect());
  p.drawImage(0, 0, view->image());
  return p.end();
}

void Platform::save_picture_dialog() {
  const QString path = QFileDialog::getSaveFileName(
      frame_, "Save image as..", QString(), "Bitmap files (*.bmp);;PNG files (*.png);;All files (*)");
  if (path.isEmpty()) return;
  if (!save_picture(path)) message_box("The image could not be saved.", "Error!");
}

void Platform::print_picture_dialog() {
  QPrinter printer(QPrinter::HighResolution);
  QPrintDialog dlg(&printer, frame_);
  dlg.setWindowTitle("Print image");
  if (dlg.exec() != QDialog::Accepted) return;
  if (!print_picture(printer)) message_box("The image could not be printed.", "Error!");
}

QStringList Platform::text_lines() const {
  if (!text_) return {};
  return text_->toPlainText().split('\n');
}

QString Platform::window_title(int unit) const {
  if (unit == kTextUnit && text_sub_) return text_sub_->windowTitle();
  if (unit == kPictureUnit && picture_sub_) return picture_sub_->windowTitle();
  if (unit == kScratchUnit) return scratch_title_;
  return {};
}

QImage Platform::picture(int unit) const {
  if (unit == kPictureUnit && picture_) return picture_->image();
  if (unit == kScratchUnit) {
    std::lock_guard<std::mutex> lock(scratch_mutex_);
    return scratch_.copy();
  }
  return {};
}

QList<QMdiSubWindow*> Platform::picture_windows() const { return pictures_; }

QImage Platform::picture_in(const QMdiSubWindow* window) {
  const auto* view = window ? dynamic_cast<const PictureView*>(window->widget()) : nullptr;
  return view ? view->image() : QImage();
}

}  // namespace lozengia
