// SPDX-License-Identifier: MIT
// Registration of the label, group box and owner-drawn button with the template reader.
#include "controls/registration.h"

#include "controls/groupctrlex.h"
#include "controls/label.h"
#include "controls/ownerdrawbutton.h"
#include "platform/widgets/dialogtemplate.h"

namespace controls {

void registerControlClasses() {
    platform::registerControlClass(QStringLiteral("CLabel"), [] { return new CLabel; });
    platform::registerControlClass(QStringLiteral("CGroupCtrlEx"), [] { return new CGroupCtrlEx; });
    platform::registerControlClass(QStringLiteral("OwnerDrawButton"), [] { return new OwnerDrawButton; });
}

} // namespace controls
