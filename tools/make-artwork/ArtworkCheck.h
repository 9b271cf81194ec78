#pragma once
// Checks that the built-in pictures fit the control table. Each check returns the
// problems it found, one readable line each; an empty list means the pictures are
// right. The generator runs them before writing, and a test runs them on the
// committed files.

#include "ui/skin/ControlTable.h"

#include <QImage>
#include <QStringList>

// The skin bitmap: its size, every image rectangle inside the skin surface (bitmap or
// button strip below it), every control with two images showing two different
// pictures, and overlapping alternate images agreeing with each other.
QStringList checkSkin(const QImage& skin, const QImage& strip, const ControlTable& table);

// The button strip: its size and each page button's down image differing from its up.
QStringList checkStrip(const QImage& strip, const ControlTable& table);

// The tooltip balloon: its size, a key colour that no drawn pixel shares (also when
// only the low 12 bits of a 16-bit pixel are compared), and the three parts' layout.
QStringList checkBalloon(const QImage& balloon);

// Generator only: the alternate images of the skin equal their sources, the alternate
// scene for the "+480" images and the freshly drawn stamps for the others.
QStringList checkSkinSources(const QImage& skin, const ControlTable& table);
