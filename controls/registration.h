// SPDX-License-Identifier: MIT
// Makes the controls of this folder known to the dialog templates by their class names.
#pragma once

namespace controls {

/// Registers CLabel, CGroupCtrlEx and OwnerDrawButton with the template reader. Safe to call again.
void registerControlClasses();

} // namespace controls
