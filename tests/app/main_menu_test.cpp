// The research window's menu bar, recent files and dropped files; the study
// window has neither menu bar nor drops. Real clicks on the menus of a shown
// window (on an X server of its own: menus need the focus).
#include <gtest/gtest.h>

#include <QAction>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QSettings>
#include <QTemporaryDir>
#include <QUrl>

#include "app/main_menu.h"
#include "app/panel_fixture.h"
#include "app/recent_files.h"
#include "app/study_mode.h"
#include "engine/sorvex.h"
#include "model/render_mesh.h"
#include "support/export_support.h"
#include "support/test_support.h"

using paneltest::press;

namespace {

class MenuWindow : public paneltest::WindowFixture {
 protected:
  void SetUp() override {
    ASSERT_TRUE(settingsDir.isValid() && files.isValid());
    // The recent files go to a settings file of this test's own.
    QCoreApplication::setOrganizationName(QStringLiteral("KorvaneTest"));
    QCoreApplication::setApplicationName(QStringLiteral("menus"));
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, settingsDir.path());
    cube = testsupport::writeFileIn(files, QStringLiteral("cube.off"), testsupport::unitCubeOff());
    // A listed file that has gone since: dropped when the window opens.
    QSettings().setValue(QStringLiteral("recentFiles"), QStringList{files.filePath(QStringLiteral("gone.off")), cube});
    paneltest::WindowFixture::SetUp();
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  // Opens `menu` from the menu bar and clicks `action` in it, as a user does.
  void choose(QMenu* menu, QAction* action) {
    QMenuBar* bar = window->mainMenu()->menuBar();
    QTest::mouseClick(bar, Qt::LeftButton, Qt::NoModifier, bar->actionGeometry(menu->menuAction()).center());
    ASSERT_TRUE(QTest::qWaitFor([&] { return menu->isVisible(); }, 3000));
    QTest::mouseClick(menu, Qt::LeftButton, Qt::NoModifier, menu->actionGeometry(action).center());
    EXPECT_TRUE(QTest::qWaitFor([&] { return !menu->isVisible(); }, 3000));
    paneltest::waitForLoads();
  }
  QMenu* menu(const char* name) { return window->mainMenu()->menuBar()->findChild<QMenu*>(QLatin1String(name)); }
  QAction* action(const char* name) { return window->findChild<QAction*>(QLatin1String(name)); }

  // Drops local file `path` onto the view's middle; returns whether the
  // drag was accepted on entering.
  bool drop(const QString& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    const QPoint at = view->mapTo(window.get(), view->rect().center());
    QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent dropped(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window.get(), &dropped);
    paneltest::waitForLoads();
    return true;
  }

  QTemporaryDir settingsDir;
  QTemporaryDir files;
  QString cube;
};

TEST_F(MenuWindow, ResearchMenusExistAndEveryEntryDoesWhatItSays) {
  if (studyMode) {
    EXPECT_EQ(window->mainMenu(), nullptr);
    EXPECT_TRUE(window->findChildren<QMenuBar*>().isEmpty());
    return;
  }
  ASSERT_NE(window->mainMenu(), nullptr);
  QStringList titles;
  for (QAction* top : window->mainMenu()->menuBar()->actions()) titles << top->text().remove(QLatin1Char('&'));
  EXPECT_EQ(titles, (QStringList{"File", "Edit", "View", "Help"}));
  // The missing recent file left the list at the start; the other stays.
  EXPECT_EQ(window->mainMenu()->recentFiles().paths(), QStringList{cube});

  // File > Load... asks for a file and loads it; it then heads the list.
  const QString second = testsupport::writeFileIn(files, QStringLiteral("second.off"), testsupport::unitCubeOff());
  nextFile = second;
  choose(menu("fileMenu"), action("loadAction"));
  ASSERT_EQ(dialogCalls.size(), 1);
  EXPECT_EQ(view->modelPathEdit->text(), second);
  EXPECT_EQ(window->mainMenu()->recentFiles().paths(), (QStringList{second, cube}));
  EXPECT_EQ(QSettings().value(QStringLiteral("recentFiles")).toStringList(), (QStringList{second, cube}));

  // Recent Files: the first entry is the cube; once its file has gone it
  // leaves the list with a message and the model stays.
  QList<QAction*> recent = window->mainMenu()->recentMenu()->actions();
  ASSERT_GE(recent.size(), 2);
  EXPECT_TRUE(recent[1]->text().contains(QStringLiteral("cube.off")));
  recent[1]->trigger();
  paneltest::waitForLoads();
  EXPECT_EQ(view->modelPathEdit->text(), QFileInfo(cube).absoluteFilePath());
  ASSERT_TRUE(QFile::remove(second));
  messages.clear();
  window->mainMenu()->recentMenu()->actions()[1]->trigger();
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(QStringLiteral("no longer exists")));
  EXPECT_EQ(window->mainMenu()->recentFiles().paths(), QStringList{QFileInfo(cube).absoluteFilePath()});
  EXPECT_EQ(view->modelPathEdit->text(), QFileInfo(cube).absoluteFilePath());

  // View: fit frames the model, the presets turn the view, a drawing switch
  // follows and sets its panel box.
  view->camera().zoom(3.0);
  choose(menu("viewMenu"), action("fitAction"));
  const Vec3 centre = view->engine()->renderMesh->centre();
  EXPECT_LT((view->camera().centre - centre).length(), 1e-5f);
  EXPECT_NEAR(view->camera().distance(), view->camera().fitDistance(view->engine()->renderMesh->radius()), 1e-4);
  choose(menu("viewMenu"), action("topViewAction"));
  EXPECT_LT(((view->camera().centre - view->camera().eye).normalized() - Vec3(0, -1, 0)).length(), 1e-6f);
  QAction* vert = action("VertToggle");
  ASSERT_NE(vert, nullptr);
  EXPECT_FALSE(view->vertCheck->isChecked());
  choose(menu("viewMenu"), vert);
  EXPECT_TRUE(view->vertCheck->isChecked());
  view->vertCheck->setChecked(false);
  EXPECT_FALSE(vert->isChecked());

  // File > Export > OBJ Files runs the export into ../ + the folder field.
  {
    exportsupport::ScopedWorkDir work;
    ASSERT_TRUE(work.ok());
    view->exportFolderEdit->setText(QStringLiteral("menuexport"));
    press(view->addNewButton);
    messages.clear();
    action("exportObjAction")->trigger();
    ASSERT_EQ(messages.size(), 1);
    EXPECT_FALSE(QDir(work.parent() + QStringLiteral("/menuexport")).entryList(QDir::Files).isEmpty())
        << messages[0].toStdString();
  }

  // File > Save Screenshot as PNG... writes the view's frame.
  const QString png = files.filePath(QStringLiteral("shot"));
  window->mainMenu()->chooseSaveFile = [&](QWidget*, const QString&, const QString& suggested) {
    EXPECT_TRUE(suggested.endsWith(QStringLiteral(".png")));
    return png;
  };
  choose(menu("fileMenu"), action("screenshotAction"));
  const QImage shot(png + QStringLiteral(".png"));
  ASSERT_FALSE(shot.isNull());
  EXPECT_EQ(shot.size(), view->size());

  // Help: the F1 sheet and About.
  choose(menu("helpMenu"), action("shortcutsAction"));
  ASSERT_NE(window->shortcutSheet(), nullptr);
  EXPECT_TRUE(window->shortcutSheet()->isVisible());
  window->shortcutSheet()->hide();
  messages.clear();
  choose(menu("helpMenu"), action("aboutAction"));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(QStringLiteral("Korvane")));
}

TEST_F(MenuWindow, ADroppedModelLoadsAndADroppedNonModelLeavesAMessageAndTheModel) {
  const QString notes = testsupport::writeFileIn(files, QStringLiteral("notes.txt"), "not a mesh\n");
  if (studyMode) {
    // The study window takes no drops.
    EXPECT_FALSE(drop(cube));
    EXPECT_TRUE(view->modelPathEdit->text() != cube);
    return;
  }
  ASSERT_NE(window->mainMenu(), nullptr);
  EXPECT_TRUE(drop(cube));
  EXPECT_EQ(view->modelPathEdit->text(), cube);
  EXPECT_EQ(view->engine()->renderMesh->faces().size(), 12);
  EXPECT_EQ(window->mainMenu()->recentFiles().paths().value(0), QFileInfo(cube).absoluteFilePath());
  // (At most the note that the cube reaches outside the unit ball.)
  for (const QString& message : messages)
    EXPECT_FALSE(message.contains(QStringLiteral("Unable"))) << message.toStdString();
  messages.clear();

  // A text file: a message naming it, and the cube stays.
  press(view->addNewButton);
  EXPECT_TRUE(drop(notes));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].contains(QStringLiteral("notes.txt")));
  EXPECT_EQ(view->modelPathEdit->text(), cube);
  EXPECT_EQ(view->engine()->renderMesh->faces().size(), 12);
  EXPECT_EQ(view->engine()->planes.size(), 1);

  // A file named like a model that is no model: the loader's own message.
  messages.clear();
  const QString broken = testsupport::writeFileIn(files, QStringLiteral("broken.off"), "OFF\n3 1 0\n0 0\n");
  EXPECT_TRUE(drop(broken));
  ASSERT_EQ(messages.size(), 1);
  EXPECT_TRUE(messages[0].startsWith(QStringLiteral("Unable to load input ") + broken));
  EXPECT_EQ(view->modelPathEdit->text(), cube);
  EXPECT_EQ(view->engine()->planes.size(), 1);
}

}  // namespace
