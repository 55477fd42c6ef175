// Internal switches of the pixel converter.
#pragma once

// With 0 every transfer that would take a fast path takes the general path instead; tests use it
// to compare the two.
void EnableImageTransferFastPaths(int enable);
