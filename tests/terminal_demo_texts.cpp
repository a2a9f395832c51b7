// The demo's texts, compiled to CP932 like every text the user sees.
extern const char kDemoIdle[] = "アイドル";
extern const char kDemoBusy[] = "バージョンアップ中 . . . . .";
extern const char kDemoUploading[] = "バージョンアップ中です               ";
extern const char kDemoBytes[] = " data   354595 / 709191 bytes        50 ％ 終了";
extern const char kDemoAbortQuestion[] = "中断しますか？";
extern const char kDemoAbortCaption[] = "バージョンアップの中断";
