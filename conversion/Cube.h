#pragma once
// The sky cube the game reads: six square faces of fixed size in files of fixed names. Every
// part of the program that names a face or its size takes it from here.

#include <array>
#include <cstddef>

namespace zenivor {

inline constexpr int kFaceSize = 504;

enum class Face { North, West, South, East, SkyCap, Ground };

inline constexpr std::array kAllFaces{Face::North, Face::West, Face::South, Face::East, Face::SkyCap, Face::Ground};
inline constexpr std::array kSideFaces{Face::North, Face::West, Face::South, Face::East};

inline constexpr std::array<const char*, 6> kCubeFileNames{
    "F0010001.tga", "F0020001.tga", "F0030001.tga", "F0040001.tga", "F0050001.tga", "F0060001.tga",
};

constexpr const char* FileNameOf(Face face) { return kCubeFileNames[static_cast<std::size_t>(face)]; }

// The ground template beside the program has the ground's own file name.
inline constexpr const char* kGroundTemplateFile = kCubeFileNames[5];

}  // namespace zenivor
