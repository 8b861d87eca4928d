// The highlighter's entry point, appended after the grammars: the code split into tokens of the
// named language, as an array of {content, type} objects whose contents concatenate to the code.
// Nested tokens are flattened the way a style sheet would colour them: a piece of text takes the
// innermost type (or alias) of the tokens around it that a highlighter theme knows, else the type
// of the innermost token, and text outside every token is "plain". A language without a grammar
// gives one plain token.
var themeTokenTypes = {};
[
    'plain', 'keyword', 'builtin', 'class-name', 'function', 'boolean', 'number', 'string', 'char',
    'symbol', 'regex', 'url', 'operator', 'variable', 'constant', 'property', 'punctuation',
    'important', 'comment', 'tag', 'attr-name', 'attr-value', 'namespace', 'prolog', 'doctype',
    'cdata', 'entity', 'bold', 'italic', 'atrule', 'selector', 'inserted', 'deleted',
    'block-comment', 'doc-comment', 'mark', 'function-name', 'preprocessor', 'directive',
    'literal', 'other-directive', 'attribute', 'function-definition', 'label', 'nil',
    'short-argument', 'omit', 'interpolation', 'interpolation-punctuation'
].forEach(function (name) { themeTokenTypes[name] = true; });

// The name of `token` a theme knows: its type, else its first such alias; null for neither.
function themeName(token) {
    var type = String(token.type);
    if (themeTokenTypes.hasOwnProperty(type)) {
        return type;
    }
    var aliases = Array.isArray(token.alias) ? token.alias : [token.alias];
    for (var i = 0; i < aliases.length; i++) {
        if (typeof aliases[i] === 'string' && themeTokenTypes.hasOwnProperty(aliases[i])) {
            return aliases[i];
        }
    }
    return null;
}

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
    var stack = [{ items: Prism.tokenize(text, grammar), index: 0, type: 'plain', known: false }];
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
            var known = themeName(item);
            stack.push({
                items: Array.isArray(content) ? content : [content],
                index: 0,
                // An unknown name stands until a known one turns up, inside or around it.
                type: known !== null ? known : (frame.known ? frame.type : String(item.type)),
                known: known !== null || frame.known
            });
        }
    }
    return tokens;
}
