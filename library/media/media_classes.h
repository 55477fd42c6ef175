// The framework's classes that the platform creates by class id: the memory allocator
// (CLSID_MemoryAllocator) is the framework's heap sample pool, the seeking pass-through
// (CLSID_SeekingPassThru) its position pass-through.
#pragma once

// Registers the classes with CoCreateInstance once per process; later calls do nothing.
void RegisterMediaFrameworkClasses();
