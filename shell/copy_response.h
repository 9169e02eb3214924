// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

/// The Ctrl+C key while a line is edited: copies the last answer to the clipboard. Returns
/// true when the editor should hand back the line typed so far.
bool CopyLastResponse();
