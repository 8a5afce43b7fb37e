#pragma once
// The root of the class tree. Every object can describe itself for the debugger;
// ThrowableObject is the base of every error object the system throws.
#include "host/text.h"

class Object {
public:
    virtual ~Object() = default;
    virtual String debugText() const { return U"+Object\n"; }
};

class ThrowableObject : public Object {};
