#pragma once

// What the main view draws. The control panel's check boxes and radio
// buttons keep this record in step; drawing and mouse handling read it.
struct DrawOptions {
  bool drawVertices = false;       // "Vert"
  bool drawEdges = false;          // "Edge"
  bool drawTriangles = true;       // "Tri"
  bool drawMeshFeatures = false;   // "Draw Mesh Features"
  bool drawOutput = true;          // "Draw Output"
  bool outputTriangulate = false;  // "Output Triangulate"
  bool outputColoured = true;      // "Output Coloured"
  bool drawHumanCuts = false;      // "Load/Draw Human Cuts"
  bool annotateMode = false;       // "Annotate Mode"
};
