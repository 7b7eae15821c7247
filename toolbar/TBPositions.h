// Where the dockable windows of a form are - on which dock, in which row and place, floating
// where, shown or hidden - written to a stream and read back. Whatever a stream holds, reading it
// leaves every window somewhere the user can see and reach it.
#pragma once

class TComponent;
class TStream;

// Writes the position of every dockable window the owner owns.
void TBStorePositions(TComponent* owner, TStream* stream);
// Applies what the stream holds to the owner's windows of the same names. Names it does not know
// are passed over; values out of range are brought into range; a dock that is not there (or will
// not take the window) is replaced by one that will; a floating window is kept on a monitor; what
// a damaged stream held before the damage is still applied.
void TBLoadPositions(TComponent* owner, TStream* stream);
