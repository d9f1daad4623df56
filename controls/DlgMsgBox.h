// The program's own message box: a borderless popup with a background picture, an icon by kind, up
// to two white texts and up to three skinned buttons (ids 10, 11, 12). It is created once and then
// only shown, re-filled and hidden.
#pragma once

#include "controls/DIBSectionLite.h"
#include "controls/MultiTextBtn.h"
#include "framework/Dialog.h"
#include "framework/GdiObjects.h"

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class CDlg_MSG_Box : public CDialog {
public:
    enum {
        kKindCount = 14,
        kButtonCount = 3,
        kIdButtonFirst = 10,
    };

    explicit CDlg_MSG_Box(CWnd* owner);
    ~CDlg_MSG_Box() override;

    // The language index the text and button fonts are chosen by when the window is created:
    // 1 Korean, 13 German, anything else English.
    void SetLanguage(int languageIndex) { m_nLanguage = languageIndex; }

    // Shows the message and waits, handling messages, until a button or key chooses; returns the
    // id (10, 11 or 12). Any thread may call it: the box's own thread shows it and waits.
    // A quit request ends the wait with 11 and is passed on to the outer message loop.
    int ShowAndWait(const std::wstring& mainText, const std::wstring& secondText, int kind, int buttonSet);
    void ShowMessage(const std::wstring& mainText, const std::wstring& secondText, int kind, int buttonSet);
    void SetContent(const std::wstring& mainText, const std::wstring& secondText, int kind, int buttonSet);
    // Ends the current message (the box stays as it is) and gives the owner the foreground.
    void Deactivate();
    BOOL IsActive() const { return m_bActive.load(); }

    void OnButton10();
    void OnButton11();
    void OnButton12();

    BOOL PreTranslateMessage(MSG* msg) override;

    // The button with the command id (10, 11, 12); null for any other id.
    CMultiTextBtn* GetButton(int id);
    // Where the texts were last drawn (client coordinates).
    RECT GetMainTextRect() const { return m_rcMainText; }
    RECT GetSecondTextRect() const { return m_rcSecondText; }
    // The panel, icons, fonts and buttons again at the window's scale (after a DPI change).
    void ApplyScale();

protected:
    BOOL OnInitDialog() override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;

private:
    struct ShowRequest;
    void CreateTextFont(const wchar_t* face, int height);
    void CreateButtons();
    void LayoutButtons();
    void ShowButtons();
    void HideButtons();
    void DrawMessageText(HDC dc, const RECT& client);

    LRESULT OnPaint();
    LRESULT OnShowAndWaitRequest();
    void PaintTo(HDC dc);
    // Centres the box over its owner, or on the screen when it has none or that would put it off the
    // screen.
    void PlaceBox();
    enum class StartVisibility { Hidden, Shown, Current };
    void ApplyButtonLayout(StartVisibility start);
    void RunChoice(int id);
    void RecordChoice(int id);
    void SelectFocused();
    // The focus cue goes to the button at the focus index (the box keeps the keyboard choice itself).
    void MarkFocusedButton();
    // Keyboard cues: as the owner shows them when a message appears, shown from the first key on.
    void MatchOwnerKeyboardCues();
    void ShowKeyboardCues();

    static CDIBSectionLite s_imgBackground;
    CDIBSectionLite m_imgIcons[kKindCount];
    CDIBSectionLite m_imgButton;  // one strip for every button: they paint one at a time
    CMultiTextBtn m_btns[kButtonCount];
    std::vector<CMultiTextBtn*> m_vecActiveButtons;
    int m_nFocusIndex = 0;
    int m_nKind = 0;
    int m_nButtonSet = 0;
    std::wstring m_strMainText;
    std::wstring m_strSecondText;
    CFont m_fontText;
    BOOL m_bTextFontCreated = FALSE;
    std::atomic<int> m_bActive{0};
    int m_nLanguage = 0;
    // Each shown message gets a serial; a choice answers the message shown at that moment and every
    // wait for an earlier one.
    unsigned m_nShownSerial = 0;
    unsigned m_nChoiceSerial = 0;
    int m_nChoiceId = 0;
    RECT m_rcMainText{};
    RECT m_rcSecondText{};
    // A request from another thread of the program: set, and the box woken with a message that
    // carries nothing, so a message from another program finds no request to act on.
    std::mutex m_senderMutex;   // one request at a time
    std::mutex m_requestMutex;  // guards m_pRequest
    const ShowRequest* m_pRequest = nullptr;
};
