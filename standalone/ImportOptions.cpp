#include "standalone/ImportOptions.h"

#include <cstdio>

#include "standalone/OptionNumbers.h"

bool ParseSmoothingText(const std::string& text, SmoothingChoice& choice, std::string& error) {
    const std::string angle = "angle:";
    if (text == "auto") choice = {SmoothingSource::Auto, 0.0};
    else if (text == "groups") choice = {SmoothingSource::Groups, 0.0};
    else if (text == "normals") choice = {SmoothingSource::Normals, 0.0};
    else if (text == "none") choice = {SmoothingSource::None, 0.0};
    else if (text.compare(0, angle.size(), angle) == 0) {
        double degrees = 0.0;
        if (!ParseDoubleText(text.substr(angle.size()), degrees)) {
            error = "--smoothing " + text + ": expected angle:DEGREES, e.g. angle:30";
            return false;
        }
        if (degrees < 0.0 || degrees > 180.0) {
            error = "--smoothing " + text + ": the angle must lie within 0 ... 180 degrees";
            return false;
        }
        choice = {SmoothingSource::Angle, degrees};
    } else {
        error = "--smoothing " + text + ": expected auto, groups, normals, angle:DEGREES or none";
        return false;
    }
    return true;
}

std::string SmoothingText(const SmoothingChoice& choice) {
    switch (choice.source) {
        case SmoothingSource::Auto: return "auto";
        case SmoothingSource::Groups: return "groups";
        case SmoothingSource::Normals: return "normals";
        case SmoothingSource::None: return "none";
        case SmoothingSource::Angle: {
            char buf[48];
            std::snprintf(buf, sizeof buf, "angle:%g", choice.angle);
            return buf;
        }
    }
    return "auto";
}

bool ParseScaleText(const std::string& text, double& scale) {
    double v = 0.0;
    if (!ParseDoubleText(text, v) || !(v > 0.0)) return false;
    scale = v;
    return true;
}
