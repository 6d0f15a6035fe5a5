#pragma once

#include <QIcon>

/// The terminal's icon: a teal tile with a rising chevron, drawn at the usual sizes. The
/// same mark is installed as a scalable file for the desktop's menus.
QIcon HalvornIcon();
