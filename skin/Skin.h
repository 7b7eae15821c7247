// The themed framework's process state: started once before any themed window exists and ended
// after the last one, in the program's start-up order.
#pragma once

// Registers the colour effects and the picture format "png".
void InitSkin();
void DoneSkin();
