// What input needs of the window layer and the call lock.
#pragma once

int PumpWindowMessages();
void WaitWhileInactive();
int IsWindowClosing();
int IsWindowActive();
int IsApiLockHeldByCurrentThread();
