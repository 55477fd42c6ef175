// The asynchronous read engine: the two kinds of read a pulling pin offers over a byte stream.
// Queued reads go to a work list that one worker thread (made by the first queued read) performs
// in order; finished reads wait in a done list and are collected in completion order. Synchronous
// reads are performed on the caller's thread. A flush sweeps the queued reads unperformed into
// the done list (each with VFW_E_TIMEOUT, so the caller gets its samples back) and waits for the
// read in progress; until it ends, new reads are refused.
//
// Threads: the worker and any caller. The list lock guards the lists, counters, flags and event
// changes; reads are performed outside it under the stream's own lock only.
#pragma once

#include "media/framework/locks.h"
#include "media/framework/memory_stream.h"
#include "media/framework/node_list.h"
#include "platform/dshow.h"

class Z_CAsyncEngine;

// One read. Length is the bytes asked for, and after the read the bytes read.
struct Z_CReadRequest {
  Z_CAsyncEngine* engine;
  Z_CByteStream* stream;
  LONGLONG position;
  BOOL aligned;
  LONG length;
  BYTE* buffer;
  IMediaSample* sample;  // No reference held.
  DWORD_PTR userValue;
  HRESULT result;  // VFW_E_TIMEOUT until performed.

  void Fill(Z_CAsyncEngine* owner, Z_CByteStream* source, LONGLONG at, LONG bytes, BOOL isAligned, BYTE* destination,
            IMediaSample* mediaSample, DWORD_PTR value);
  HRESULT Perform();
};

class Z_CAsyncEngine {
 public:
  explicit Z_CAsyncEngine(Z_CByteStream* stream);
  ~Z_CAsyncEngine();
  Z_CAsyncEngine(const Z_CAsyncEngine&) = delete;
  Z_CAsyncEngine& operator=(const Z_CAsyncEngine&) = delete;

  // Queues one read; VFW_E_BADALIGN for an aligned read off the stream's alignment,
  // VFW_E_WRONG_STATE while flushing, E_FAIL when the worker cannot be started.
  HRESULT Request(LONGLONG position, LONG length, BOOL aligned, BYTE* buffer, IMediaSample* sample,
                  DWORD_PTR userValue);
  // The next finished read. A short read is S_OK when it ended at the stream's end, else E_FAIL.
  HRESULT WaitForNext(DWORD timeoutMilliseconds, IMediaSample** sample, DWORD_PTR* userValue, LONG* actual);
  HRESULT SyncReadAligned(LONGLONG position, LONG length, BYTE* buffer, LONG* actual, IMediaSample* sample);
  HRESULT SyncRead(LONGLONG position, LONG length, BYTE* buffer);
  HRESULT Length(LONGLONG* total, LONGLONG* available);
  HRESULT Alignment(LONG* alignment);
  HRESULT BeginFlush();
  HRESULT EndFlush();

  // Requests in each list, for tests of the sweep.
  int QueuedCount();
  int DoneCount();

 private:
  bool IsAligned(LONGLONG position, LONG length, const BYTE* buffer);
  HRESULT PutWork(Z_CReadRequest* request);
  Z_CReadRequest* TakeWork();
  HRESULT PutDone(Z_CReadRequest* request);
  Z_CReadRequest* TakeDone();
  HRESULT StartThread();
  void StopThread();
  static DWORD ThreadEntry(LPVOID engine);
  DWORD ThreadLoop();
  void ProcessRequests();

  Z_CByteStream* m_stream;  // Not owned.
  Z_CLockSection m_listLock;
  bool m_flushing = false;
  Z_CNodeList m_workList{"Read work list"};
  Z_CNodeList m_doneList{"Read done list"};
  Z_CWaitEvent m_workEvent{true};
  Z_CWaitEvent m_doneEvent{true};
  LONG m_inProgress = 0;
  bool m_waitingForAll = false;
  Z_CWaitEvent m_allDoneEvent{false};
  Z_CWaitEvent m_stopEvent{true};
  HANDLE m_thread = nullptr;
};
