#include "app/undo_history.h"

#include "engine/sorvex.h"

EditState captureEditState(const Sorvex& engine, const QString& label, bool withMesh) {
  EditState state;
  state.label = label;
  state.planes = engine.planes;
  state.currentPlane = engine.hasCurrentPlane() ? engine.currentPlane : -1;
  state.useSegmentation = engine.useSegmentation;
  if (withMesh && engine.renderMesh) {
    state.hasMesh = true;
    state.mesh = *engine.renderMesh;
    // NOTE: the mesh edits replace the curvature mesh rather than change it,
    // so holding the pointer keeps the one from before the edit.
    state.triMesh = engine.triMesh;
    state.faceSegment = engine.faceSegment;
    state.segmentCount = engine.segmentCount;
  }
  return state;
}

void restoreEditState(Sorvex& engine, const EditState& state) {
  if (state.hasMesh && engine.renderMesh) {
    *engine.renderMesh = state.mesh;
    engine.triMesh = state.triMesh;
    engine.faceSegment = state.faceSegment;
    engine.segmentCount = state.segmentCount;
  }
  engine.useSegmentation = state.useSegmentation;
  engine.planes = state.planes;
  engine.currentPlane =
      (state.currentPlane >= 0 && state.currentPlane < engine.planes.size()) ? state.currentPlane : Sorvex::kNoPlane;
}

bool planesDiffer(const Sorvex& engine, const EditState& state) {
  if (engine.planes.size() != state.planes.size()) return true;
  for (int i = 0; i < state.planes.size(); ++i) {
    const SectionPlane& a = engine.planes[i];
    const SectionPlane& b = state.planes[i];
    if (!(a.normal == b.normal) || !(a.r1 == b.r1) || !(a.r2 == b.r2) || !(a.point == b.point) || a.d != b.d)
      return true;
    for (int k = 0; k < 3; ++k)
      if (!(a.handles[k] == b.handles[k])) return true;
    if (a.annotations.size() != b.annotations.size()) return true;
    for (int s = 0; s < a.annotations.size(); ++s)
      if (a.annotations[s].size() != b.annotations[s].size()) return true;
  }
  return false;
}

void UndoHistory::push(EditState before) {
  undo_.push_back(std::move(before));
  while (int(undo_.size()) > limit_) undo_.pop_front();
  redo_.clear();
}

bool UndoHistory::undo(Sorvex& engine) {
  if (undo_.empty()) return false;
  EditState target = std::move(undo_.back());
  undo_.pop_back();
  redo_.push_back(captureEditState(engine, target.label, target.hasMesh));
  restoreEditState(engine, target);
  return true;
}

bool UndoHistory::redo(Sorvex& engine) {
  if (redo_.empty()) return false;
  EditState target = std::move(redo_.back());
  redo_.pop_back();
  undo_.push_back(captureEditState(engine, target.label, target.hasMesh));
  while (int(undo_.size()) > limit_) undo_.pop_front();
  restoreEditState(engine, target);
  return true;
}

void UndoHistory::clear() {
  undo_.clear();
  redo_.clear();
}
