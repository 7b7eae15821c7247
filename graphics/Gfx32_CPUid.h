// The processor test that decides which pixel mixing routine the process uses.
#pragma once

// True when bit 21 of EFLAGS can be toggled, i.e. the CPUID instruction exists.
bool CPUIDAvailable();
// CPUID available, family (function 1, EAX bits 8-11) at least 5, and MMX (EDX bit 23).
bool HasMMX();
// SSE2 (function 1, EDX bit 26): lets the MMX formula run four pixels per step.
bool HasSSE2();
