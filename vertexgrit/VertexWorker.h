// The code each thread of the Vertex Colors run executes: one grit value at the centroid of every
// face in the thread's share (faces index, index + threads, ...), stored as that face's value.
#pragma once
#include <functional>

#include "host/Mesh.h"
#include "vertexgrit/WorkerPool.h"

// The pool's entry: the job's context is the GritUtility the run belongs to. Runs the job, marks
// the slot finished and frees the job. A worker without memory for its ray buffer sets the
// utility's vertexWorkerFailed and raises the pool's stop flag; one whose evaluation fails is
// reported through assert1 and raises the stop flag. Either way the run writes nothing.
void VertexGritThread(void* job);

// The centroid weights every face is evaluated at: one third, as a float, in each place.
inline constexpr float kCentroidWeight = 0.33333334f;

// Test seam: when set, the workers call this instead of the evaluator, with the face and their
// own job, so tests can choose the values, see which slot evaluated which face and hold a worker
// at a known point. Set it only while no run is active; an empty function restores the evaluator.
// Returns the previous one.
using VertexFaceEvaluator = std::function<float(const Mesh& mesh, int face, const WorkerJob& job)>;
VertexFaceEvaluator SetVertexFaceEvaluator(VertexFaceEvaluator evaluator);
