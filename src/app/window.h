#pragma once

#include <QWidget>

class GLWidget;
class MainMenu;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QDialog;
class QScrollArea;
class SideGLWidget;

// The one top-level window: the main view with the control panel at its right.
// The side view is a separate top-level window shown on demand, owned by
// this one.
class Window : public QWidget {
  Q_OBJECT

 public:
  Window();
  ~Window() override;

  GLWidget* mainView() const { return mainView_; }
  SideGLWidget* sideView() const { return sideView_; }
  QWidget* controlPanel() const { return panel_; }
  // The scroll area that holds the panel.
  QScrollArea* panelScroll() const { return panelScroll_; }
  // The F1 sheet of mouse and key actions; null until first opened.
  QDialog* shortcutSheet() const { return shortcutSheet_; }
  // The research window's menu bar; null in the study window.
  MainMenu* mainMenu() const { return menu_; }

  // Whether `path` names a model file by its extension (OFF, OBJ or one the
  // model reader accepts).
  static bool isModelFilePath(const QString& path);

 public slots:
  // Opens (or raises) the F1 sheet.
  void showShortcutSheet();

 protected:
  // Research window: a model file dropped onto the window loads as with
  // "Load..."; anything else is refused with a message, the model stays.
  void dragEnterEvent(QDragEnterEvent* event) override;
  void dropEvent(QDropEvent* event) override;
  // A menu entry's status tip goes to the status line under the view.
  bool event(QEvent* event) override;
  // Planes not exported keep the window open until the user has chosen:
  // export them, close without them, or cancel the close.
  void closeEvent(QCloseEvent* event) override;

 private:
  // The size the window opens with: room for a view at least as wide as the
  // control panel, within the screen.
  QSize openingSize() const;

  GLWidget* mainView_ = nullptr;
  QWidget* panel_ = nullptr;
  QScrollArea* panelScroll_ = nullptr;
  SideGLWidget* sideView_ = nullptr;
  QDialog* shortcutSheet_ = nullptr;
  MainMenu* menu_ = nullptr;
};
