#pragma once
// The machine a PE image is built for, from the first bytes of its file. No
// <windows.h> here.
#include <cstddef>
#include <cstdint>

const uint16_t PeMachineI386 = 0x014c;
const uint16_t PeMachineAmd64 = 0x8664;
const uint16_t PeMachineArm64 = 0xaa64;

// Reads the file header's machine field from data (the file's first size
// bytes). False when they do not hold an "MZ" header whose e_lfanew leads,
// inside them, to the "PE\0\0" signature and a whole file header.
bool ReadPeMachine(const unsigned char* data, size_t size, uint16_t* machine);

// True for the machines whose libraries load into 64-bit processes only.
bool IsPe64BitMachine(uint16_t machine);
