// The highlighter's entry point, appended after the grammars: the code split into tokens of the
// named language, as an array of {content, type} objects whose contents concatenate to the code.
// Nested tokens are flattened: a piece of text takes the type of the innermost token holding it,
// and text outside every token is "plain". A language without a grammar gives one plain token.
function tokenizeCode(code, language) {
    'use strict';
    var text = String(code);
    var languages = Prism.languages;
    var grammar = Object.prototype.hasOwnProperty.call(languages, language) ? languages[language] : undefined;
    if (!grammar || typeof grammar !== 'object') {
        return [{ content: text, type: 'plain' }];
    }
    var tokens = [];
    var push = function (content, type) {
        if (content.length === 0) {
            return;
        }
        var last = tokens[tokens.length - 1];
        // Neighbours of one type become one token: fewer objects to hand over.
        if (last !== undefined && last.type === type) {
            last.content += content;
        } else {
            tokens.push({ content: content, type: type });
        }
    };
    // Explicit stack instead of recursion: nesting depth is the grammar's, not the caller's.
    var stack = [{ items: Prism.tokenize(text, grammar), index: 0, type: 'plain' }];
    while (stack.length > 0) {
        var frame = stack[stack.length - 1];
        if (frame.index >= frame.items.length) {
            stack.pop();
            continue;
        }
        var item = frame.items[frame.index++];
        if (typeof item === 'string') {
            push(item, frame.type);
        } else if (item instanceof Prism.Token) {
            var content = item.content;
            stack.push({
                items: Array.isArray(content) ? content : [content],
                index: 0,
                type: String(item.type)
            });
        }
    }
    return tokens;
}
