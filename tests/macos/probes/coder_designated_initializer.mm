// Must NOT compile: ScreenSaverView's only designated initializer is -initWithFrame:isPreview:, so a
// designated -initWithCoder: of a subclass may not call -initWithCoder: on super. The stand-in
// headers have to refuse this as Apple's do, or they would pass code that fails on a Mac.

#import <ScreenSaver/ScreenSaver.h>

@interface ProbeSaverView : ScreenSaverView
- (nullable instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview NS_DESIGNATED_INITIALIZER;
- (nullable instancetype)initWithCoder:(NSCoder*)coder NS_DESIGNATED_INITIALIZER;
@end

@implementation ProbeSaverView

- (instancetype)initWithFrame:(NSRect)frame isPreview:(BOOL)isPreview {
    return [super initWithFrame:frame isPreview:isPreview];
}

- (instancetype)initWithCoder:(NSCoder*)coder {
    return [super initWithCoder:coder];
}

@end
