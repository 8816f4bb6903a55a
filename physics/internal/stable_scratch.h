#pragma once
// The stable step's buffers (physics/stable_step.h), part of the world's StepCache.

#include <cstdint>
#include <memory>
#include <vector>

#include "physics/internal/step_workers.h"

class Vect;
class constraint;

// The stable step's buffers, kept from step to step so that a step allocates nothing once they
// have grown to the scene's size. None of it is the world's state: all is gathered anew per step.
struct StableScratch {
    // What the corrections read and write of a particle, kept apart from its speed so that the
    // rounds go through as little memory as they can.
    struct Particle {
        float x, y;    // position, worked on
        float px, py;  // position at the substep's start
        float w;       // inverse mass; 0 for what the corrections never move
    };
    struct Motion {
        float vx, vy;  // speed, pixels per step
        float move;    // 1 when the particle is integrated (it holds its slot in the world's array)
    };
    struct Link {  // where a particle's numbers go back to
        Vect* pos;
        Vect* oldpos;
        Vect* vel;
        Vect* accvel;
    };
    struct Rod {
        int32_t a, b;  // particle entries
        float rest;
        float rest2;  // rest squared
        float share;  // the stiffness over both ends' inverse masses
        float breakPoint;
    };
    struct Contact {
        int32_t p;     // the particle pushed out
        int32_t a, b;  // the edge's ends, or a = the other particle and b = -1
        float mu;      // how much slip friction holds, per pixel of push
    };
    std::vector<Particle> particles;  // the world's array slots first, then ends outside it
    std::vector<Motion> motion;       // per particle
    std::vector<Link> links;
    std::vector<Rod> rods;
    std::vector<constraint*> rodOwners;  // per rod
    std::vector<Contact> contacts;
    // With contact damping only, per particle: whether a contact pushed it in this substep, and
    // the friction corrections of this round summed, with how many contacts gave one.
    struct Held {
        float x, y;
        float count;
    };
    std::vector<uint8_t> pushed;
    std::vector<Held> held;
    std::vector<float> bodyReach;  // per body in broadphase order: its particles' farthest move
    // Per body in broadphase order, where its collision particles' and edges' slots begin (one
    // more at the end), and the slots themselves (-1 outside the world's array).
    struct EdgeSlots {
        int32_t a, b;
    };
    std::vector<int32_t> pointBegin;
    std::vector<int32_t> edgeBegin;
    std::vector<int32_t> pointSlots;
    std::vector<EdgeSlots> edgeSlots;

    // Splitting the step over threads (SetStepThreads). threads: the count the world was given, or
    // 0 to let the step choose; the workers are made when a step first splits.
    int32_t threads = 0;
    std::unique_ptr<StepWorkers> workers;
    // The rods by piece: every rod goes to the piece of its particles' group (particles joined by
    // rods, found with root), each piece's rods in the rods' own order.
    std::vector<int32_t> root;         // per particle entry: towards its group's first entry
    std::vector<int32_t> pieceOfRoot;  // per particle entry that is a root: its piece, or -1
    std::vector<int32_t> rodPiece;     // per rod
    std::vector<Rod> pieceRods;
    std::vector<constraint*> pieceOwners;  // per entry of pieceRods
    std::vector<int32_t> pieceRodBegin;    // per piece, and one more
    // The contacts that pieces after the first find, appended in piece order after the first's.
    std::vector<std::vector<Contact>> pieceContacts;
    // The contact rounds on two threads (SplitContactRound), sorted from the contact list once a
    // step. A contact among one side's particles goes to that side; one that crosses waits for
    // what came before it on both sides.
    struct Crossing {
        int32_t before0;  // how many of firstSide come before it
        int32_t needA;    // how many of secondFree must be done before it
        int32_t needB;    // how many of secondAfter must be done before it
    };
    std::vector<uint8_t> side;           // per particle: 0 when its rod group's piece is in the
                                         // first half of the pieces, else 1
    std::vector<Contact> firstSide;      // the first side's contacts, in order
    std::vector<Contact> crossContacts;  // the crossing ones, in order
    std::vector<Crossing> crossings;     // per crossing contact
    std::vector<Contact> secondFree;     // the second side's, before any crossing contact
    std::vector<Contact> secondAfter;    // the second side's, after one
    std::vector<int32_t> secondNeed;     // per secondAfter: crossing contacts done before it
    std::vector<int32_t> lastTouch;      // while sorting: the last contact on each particle
    // Every particle of the world's array holds its position, previous position and speed
    // vectors alone, so that the write-back of one piece of the array touches no other piece's.
    bool ownVectors = false;
};
