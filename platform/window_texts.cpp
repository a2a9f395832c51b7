// The window layer's own texts, as CP932 byte strings (this file is compiled to that code page;
// it includes nothing, so no header meets that code page).
namespace platform::win {

extern const char kErrorCaption[] = "エラー";  // a message box's caption when none is given
extern const char kYesButton[] = "はい(&Y)";
extern const char kNoButton[] = "いいえ(&N)";

}  // namespace platform::win
