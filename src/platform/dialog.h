// Modal dialogs built from the dialog templates in resources/ (101 new
// hexagon, 102 picture style, 103/104 step counts, 105 live mode). Controls are
// addressed by the numeric id each template gives them in its "controlId"
// property. GUI thread only.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QDialog;
class QWidget;

namespace lozengia {

class Dialog {
 public:
  // Runs with the dialog and the id of the control that changed or was
  // pressed. A callback on a push button replaces its default action of
  // closing the dialog: the dialog stays open until the callback calls close().
  using Callback = std::function<void(Dialog&, int id)>;

  Dialog(int resource_id, QWidget* parent);
  ~Dialog();
  Dialog(const Dialog&) = delete;
  Dialog& operator=(const Dialog&) = delete;

  bool loaded() const { return dialog_ != nullptr; }
  QDialog* widget() const { return dialog_.get(); }
  int resource_id() const { return resource_id_; }

  // Edit fields and labels.
  void set_text(int id, const std::string& text);
  std::string text(int id) const;
  // The label in front of a control (named "label<id>" in the template).
  void set_label(int id, const std::string& text);
  std::string label(int id) const;
  // What the control and its label say when the mouse rests on them: the
  // rule a field's value follows.
  void set_tooltip(int id, const std::string& text);
  // Radio buttons and check boxes.
  void set_checked(int id, bool on);
  bool checked(int id) const;
  void set_enabled(int id, bool on);
  bool enabled(int id) const;
  // Drop-down lists; selections count from 1 (0: nothing selected).
  void set_items(int id, const std::vector<std::string>& items);
  void set_selection(int id, int k);
  int selection(int id) const;

  // The field that has the keyboard when the dialog opens, its text selected
  // so that typing replaces it.
  void set_first_field(int id) { first_field_ = id; }

  void set_callback(int id, Callback callback);

  // Runs modally; returns the id of the button that closed the dialog (the
  // Cancel button's id, or 2, when it was dismissed with Escape or the
  // window's close box).
  int run();
  // Ends the modal run with `id` as its result.
  void close(int id);

  QWidget* control(int id) const;

 private:
  int resource_id_;
  std::unique_ptr<QDialog> dialog_;
  std::map<int, Callback> callbacks_;
  int dismiss_id_ = 2;
  int first_field_ = -1;
};

}  // namespace lozengia
