// How a mesh file becomes the scene: the scale applied to every position, where the smoothing
// groups come from, and how many threads read the file. The same for every file format.
#pragma once
#include <string>

// Where an object's smoothing groups come from.
enum class SmoothingSource {
    Auto,     // groups when the faces carry some, else normals when they carry some, else none
    Groups,   // the file's smoothing groups (OBJ: the `s` lines)
    Normals,  // from the file's per-corner normals: an edge is smooth where both faces agree
    Angle,    // from the angle between the faces across each edge
    None,     // no smoothing groups on any face
};

struct SmoothingChoice {
    SmoothingSource source = SmoothingSource::Auto;
    double angle = 0.0;  // degrees, for Angle: edges up to this angle are smooth
};

struct ImportOptions {
    double scale = 1.0;  // every position is multiplied by this (finite, > 0)
    SmoothingChoice smoothing;
    int threads = 0;  // threads that read the file; 0: one per hardware thread
};

// "auto", "groups", "normals", "angle:DEG" (0 ... 180) or "none"; false with the reason in
// `error` (which names the text).
bool ParseSmoothingText(const std::string& text, SmoothingChoice& choice, std::string& error);

// The option's own spelling of a choice: "normals", "angle:30", ...
std::string SmoothingText(const SmoothingChoice& choice);

// A scale text: a finite number above 0, read whole.
bool ParseScaleText(const std::string& text, double& scale);
