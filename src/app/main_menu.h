#pragma once

#include <QObject>
#include <QString>
#include <functional>
#include <memory>

class QAction;
class QCheckBox;
class QMenu;
class QMenuBar;
class RecentFiles;
class Window;

// The research window's menu bar: File (Load..., Recent Files, Export,
// Save Screenshot as PNG..., Quit), Edit (Undo, Redo), View (fit, reset,
// preset views, the drawing switches of the panel) and Help (the F1 sheet,
// About). Every entry calls what the panel or the view already does; the
// view's navigation keys are only named in the menu, not bound by it, so
// that typing in a panel field never moves the view.
class MainMenu : public QObject {
  Q_OBJECT

 public:
  explicit MainMenu(Window* window);
  ~MainMenu() override;

  QMenuBar* menuBar() const { return menuBar_; }
  QMenu* recentMenu() const { return recentMenu_; }
  const RecentFiles& recentFiles() const { return *recent_; }

  // Asks for the screenshot's file; empty for cancel. Replaceable so that
  // tests need no dialog.
  std::function<QString(QWidget* parent, const QString& caption, const QString& suggested)> chooseSaveFile;

  // Writes the main view's current frame as a PNG; says how it went in the
  // status line or a message. False when nothing was written.
  bool saveScreenshot(const QString& path);
  // Loads a listed model; a file that has gone is dropped from the list
  // with a message.
  void openRecent(const QString& path);
  // Rebuilds the Recent Files submenu from the list.
  void rebuildRecentMenu();
  // The same at the next turn of the event loop (safe from within an entry).
  void scheduleRecentMenu();

 private:
  QAction* addViewAction(QMenu* menu, const QString& text, const QString& key, const QString& tip,
                         const std::function<void()>& act);
  void addDrawToggle(QMenu* menu, QCheckBox* box, const QString& tip);

  Window* window_ = nullptr;
  QMenuBar* menuBar_ = nullptr;
  QMenu* recentMenu_ = nullptr;
  std::unique_ptr<RecentFiles> recent_;
};
