#pragma once
// The page's side of the web back end: turning its DOM input on and off, and the touch and pen
// contacts that the page's pointer events report. Positions come in the page's client
// coordinates and are mapped onto the canvas's own pixels, however wide the page shows it.

#include <cstdint>

// Starts or stops taking the page's input (mouse, wheel, keys, focus, contacts). Stopping also
// drops what is queued and forgets held buttons and contacts: a page whose simulation has ended
// keeps nothing. On at start-up.
void SetPageInput(bool on);
bool PageInputOn();
// Records queued for the next pump.
int32_t QueuedPageInput();

// A touch or pen contact moves the pointer where it lands, then presses a button there once it
// is known which: the left (a throw, or the chosen tool) when it moves more than a few pixels
// or lifts (a tap, a click whose release comes a frame later), the right (a grab) when it stays
// still for half a second. The press is held back until a frame has taken the move, so that a
// throw measures its drag from the point of contact rather than from where the last contact
// ended; what follows the press waits behind it, in order.
enum class PagePointer : int32_t { kPress = 0, kMove = 1, kRelease = 2 };
void QueuePagePointer(PagePointer phase, double clientX, double clientY);
// Called after every frame: queues the next group of records held back, and makes a contact
// held still long enough a press of the right button.
void ReleaseHeldPagePointer();

// Queues, ahead of everything queued, a move to where the program last saw the pointer: a
// recording that starts now starts with the pointer in its place.
void RepeatPagePointer();

// Where a client position falls on the canvas, in its pixels (floored).
void CanvasPointOf(double clientX, double clientY, int32_t& x, int32_t& y);
