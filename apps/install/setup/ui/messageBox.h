// Every question and notice the launcher puts to the user: classic message boxes and task
// dialogs, logged, and answered by themselves in a silent run.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
#include <string>

// The silent answer of DisplayMessageBox, logged ("PickButton: Running silent, ...").
int PickButton(uint32_t style);

int DisplayMessageBox(HWND owner, const char* text, const char* caption, uint32_t style);

int PostTaskDialog(HMODULE module, HWND owner, const char* caption, UINT contentMessage, const char* contentInsert,
                   const wchar_t* mainIcon, UINT mainInstructionMessage, int commonButtons,
                   const TASKDIALOG_BUTTON* customButtons, UINT customButtonCount, int defaultButton);

HRESULT CALLBACK OnTaskDialogLink(HWND window, UINT notification, WPARAM wParam, LPARAM link, LONG_PTR data);

int ShowMessage(HMODULE module, HWND owner, const char* caption, UINT message, uint32_t style);
int ShowMessageWithNumber(HMODULE module, HWND owner, const char* caption, UINT message, int number, uint32_t style);
void ShowMessageWithText(HMODULE module, HWND owner, const char* caption, UINT message, const char* text,
                         uint32_t style);
void ShowMessageWithTextAndNumber(HMODULE module, HWND owner, const char* caption, UINT message, const char* text,
                                  int number, uint32_t style);
int ShowMessageWithInsert(HMODULE module, HWND owner, const char* caption, UINT message, const char* insert,
                          uint32_t style);
int ShowOutOfMemory(HMODULE module, HWND owner, const char* caption, uint32_t style);
void ShowSetupCanceled(HMODULE module, HWND owner, const char* caption, uint32_t style);
void ShowUsage(HMODULE module, HWND owner, const char* caption);
int ShowTaskMessage(HMODULE module, HWND owner, const char* caption, UINT message, const char* insert,
                    const wchar_t* mainIcon, UINT mainInstructionMessage, int commonButtons, int defaultButton);
