#pragma once

#include <QList>
#include <QString>
#include <QVector>
#include <deque>
#include <memory>

#include "model/render_mesh.h"
#include "sections/section_plane.h"

class Sorvex;
class TriMesh;

// What one undo step puts back: the plane list with the current plane and,
// for mesh edits, the mesh with its curvature mesh and segmentation. The
// containers are implicitly shared, so a step costs little until the engine
// changes what it shares.
struct EditState {
  QString label;  // what the step did ("Add plane", "Move plane", ...)
  QList<SectionPlane> planes;
  int currentPlane = -1;
  bool useSegmentation = false;
  bool hasMesh = false;
  RenderMesh mesh;
  std::shared_ptr<TriMesh> triMesh;
  QVector<int> faceSegment;
  int segmentCount = 1;
};

// Takes the engine's plane list (and its mesh when `withMesh`) as it is now.
EditState captureEditState(const Sorvex& engine, const QString& label, bool withMesh);
// Puts `state` back into the engine: the planes as they were (sections
// included), the current plane, and the mesh when the state holds one.
// Out-of-range current planes become "none".
void restoreEditState(Sorvex& engine, const EditState& state);
// Whether the planes differ from those of `state` in geometry, count or
// strokes (the sections follow from these).
bool planesDiffer(const Sorvex& engine, const EditState& state);

// A bounded two-stack history of edit states. push() stores the state from
// before an edit and drops everything that could be redone; undo() and redo()
// swap the engine's present state with the top of one stack and move it to
// the other. The oldest steps fall off past `limit`.
class UndoHistory {
 public:
  explicit UndoHistory(int limit = 50) : limit_(limit > 0 ? limit : 1) {}

  void push(EditState before);
  bool canUndo() const { return !undo_.empty(); }
  bool canRedo() const { return !redo_.empty(); }
  int undoCount() const { return int(undo_.size()); }
  int redoCount() const { return int(redo_.size()); }
  int limit() const { return limit_; }
  // Labels of the steps that undo and redo would take back or do again.
  QString undoLabel() const { return undo_.empty() ? QString() : undo_.back().label; }
  QString redoLabel() const { return redo_.empty() ? QString() : redo_.back().label; }

  // Returns false (nothing changed) when there is nothing to undo / redo.
  bool undo(Sorvex& engine);
  bool redo(Sorvex& engine);
  void clear();

 private:
  int limit_;
  std::deque<EditState> undo_;
  std::deque<EditState> redo_;
};
